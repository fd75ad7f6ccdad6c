#include "wizard/Frame_Working.h"

#include "platform/Terminate.h"
#include "run/UpgradeRun.h"
#include "tftp/host/HostWindow.h"
#include "wizard/RunView.h"
#include "wizard/WizardHost.h"

TFrameWorking::TFrameWorking(QWidget *parent)
    : TRunPage(QStringLiteral("Step3: Working ...upgrading to intermediate version"), parent)
{
    setObjectName(QStringLiteral("FrameWorking"));
}

void TFrameWorking::PageEntered()
{
    if (Platform::terminateRequested())
        return;
    Aborted = false;
    takeOverTheRun();
    TUpgradeRun upgrade(*mainForm()->Operations(), *mainForm()->TftpHost());
    TRunView view(upgrade, this);
    view.conclude(upgrade.Run());
}
