#include "wizard/WizardHost.h"

namespace {
IWizardHost *g_mainForm = nullptr;
}

IWizardHost *mainForm()
{
    return g_mainForm;
}

void setMainForm(IWizardHost *host)
{
    g_mainForm = host;
}
