#include "wizard/WizardHost.h"

namespace {
IWizardHost *g_mainForm = nullptr;
}

IWizardHost *MainForm()
{
    return g_mainForm;
}

void SetMainForm(IWizardHost *host)
{
    g_mainForm = host;
}
