#include "wizard/Frame_Working.h"

#include "access/TelnetSync.h"
#include "platform/Dialogs.h"
#include "platform/Terminate.h"
#include "upgrade/upgrade_device.h"
#include "wizard/WizardHost.h"
#include "wizard/frame_workingInter.h"

#include <QProgressBar>

using Platform::MessageKind;

namespace {

bool runsIntermediateVersion(const TTelnetOperations &operations)
{
    return operations.CurrentVersion.toLower().contains(QStringLiteral("interim"));
}

} // namespace

TFrameWorking::TFrameWorking(QWidget *parent)
    : TRunPage(QStringLiteral("Step3: Working ...upgrading to intermediate version"), QStringLiteral("Step3 : "), parent)
{
    setObjectName(QStringLiteral("FrameWorking"));
}

void TFrameWorking::AdvanceStep(const QString &Text)
{
    prbOverall->setValue(std::min(prbOverall->value() + 1, prbOverall->maximum()));
    prbOverall->repaint();
    showSubtitle(Text);
}

void TFrameWorking::PageEntered()
{
    runGuarded([this] { run(); });
}

void TFrameWorking::run()
{
    Aborted = false;
    takeOverTheRun();
    TTelnetOperations &operations = *mainForm()->Operations();
    const TProgressEvent progress = [this](TTelnetOperations *sender, const QString &text) { AddProgressLine(sender, text); };
    if (runsIntermediateVersion(operations)) {
        AdvanceStep(QStringLiteral("Saving IP address and location"));
        operations.SaveIPAndLocation(progress);
        operations.EnableSnmpAccess(progress);
        operations.SaveUnitCount(progress);
        mainForm()->ShowPageOfClass(&TFrameWorkingInter::staticMetaObject);
        return;
    }
    fullRun();
}

void TFrameWorking::fullRun()
{
    TTelnetOperations &operations = *mainForm()->Operations();
    const TProgressEvent progress = [this](TTelnetOperations *sender, const QString &text) { AddProgressLine(sender, text); };
    ++m_fullRuns;
    SetStepCount(5);
    AdvanceStep(QStringLiteral("Saving configuration file from device "));
    if (!operations.BackupConfiguration(progress)) {
        Aborted = true;
        Platform::requestTerminate();
        return;
    }
    operations.EnableSnmpAccess(progress);
    operations.SaveUnitCount(progress);
    AdvanceStep(QStringLiteral("Updating Image to device"));
    if (!operations.DownloadImage(progress))
        return;
    AdvanceStep(QStringLiteral("Saving IP address and location"));
    operations.SaveIPAndLocation(progress);
    AdvanceStep(QStringLiteral("switching to other image"));
    operations.SwitchToOtherImage(progress);
    AdvanceStep(QStringLiteral("Resetting device"));
    operations.ResetDevice(progress);
    AdvanceStep(QStringLiteral("Finished"));
    afterTheReset();
}

void TFrameWorking::afterTheReset()
{
    TTelnetOperations &operations = *mainForm()->Operations();
    if (runsIntermediateVersion(operations)) {
        mainForm()->ShowPageOfClass(&TFrameWorkingInter::staticMetaObject);
        return;
    }
    // A switch that is not back may still be writing an image: it is never sent a new run.
    QString failure;
    if (!operations.Telnet->Connected()) {
        failure = QStringLiteral("The switch did not answer after its reset.\n\rCheck that it has started and that ")
            + operations.DeviceAddress + QStringLiteral(" reaches it, then run the utility again.");
    } else if (m_fullRuns >= kMaxFullRuns) {
        failure = QStringLiteral("The switch came back from its reset running ") + operations.CurrentVersion
            + QStringLiteral(", not the intermediate version, %1 times.\n\rCheck its image slots (\"show bootvar\") "
                             "and its console, then run the utility again.")
                  .arg(m_fullRuns);
    }
    if (failure.isEmpty()) {
        mainForm()->ShowPageOfClass(&TFrameWorking::staticMetaObject);
        return;
    }
    Aborted = true;
    Platform::showMessage(MessageKind::Error, failure + QStringLiteral("\n\rApplication will terminate."));
    AddProgressLine(&operations, failure);
    mainForm()->SaveLog();
    Platform::requestTerminate();
}
