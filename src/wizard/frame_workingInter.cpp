#include "wizard/frame_workingInter.h"

#include "access/SnmpSync.h"
#include "platform/Dialogs.h"
#include "platform/MessagePump.h"
#include "platform/Exceptions.h"
#include "upgrade/upgrade_device.h"
#include "wizard/Frame_Finish.h"
#include "wizard/Frame_Top.h"
#include "wizard/WizardHost.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>

using Platform::MessageKind;

namespace {

// The switch's sysContact: the unit count goes to the switch in it, its progress comes back.
const QString kStatusObject = QStringLiteral("1.3.6.1.2.1.1.") + QStringLiteral("4");
const QByteArray kCommunity = QByteArrayLiteral("vemtal");
constexpr int kStackSteps = 15;
constexpr int kStandaloneSteps = 7;
constexpr int kPauseSteps = 40;
constexpr int kPauseStepMs = 50;

} // namespace

std::optional<int> statusStep(const QString &status)
{
    const QString marker = QStringLiteral("Step ");
    const qsizetype step = status.indexOf(marker);
    const qsizetype colon = status.indexOf(u':');
    if (step < 0 || colon < step)
        return std::nullopt;
    const qsizetype start = step + marker.size();
    bool ok = false;
    const int number = status.mid(start, colon - start).trimmed().toInt(&ok);
    return ok ? number : 0;
}

TFrameWorkingInter::TFrameWorkingInter(QWidget *parent)
    : TRunPage(QStringLiteral("Step4: Upgrading from intermidiate to 746 version"), QStringLiteral("Step 4:"), parent)
{
    setObjectName(QStringLiteral("FrameWorkingInter"));
    GroupBox1->setTitle(QStringLiteral("Switch information"));
    GroupBox1->setAccessibleName(QStringLiteral("Switch information"));
    QFont bold = lblPleaseWait->font();
    bold.setBold(true);
    bold.setPixelSize(13);
    lblPleaseWait->setFont(bold);
    QPalette navy = lblPleaseWait->palette();
    navy.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
    lblPleaseWait->setPalette(navy);
}

void TFrameWorkingInter::PageEntered()
{
    runGuarded([this] { run(); });
}

void TFrameWorkingInter::run()
{
    mainForm()->SaveLog();
    m_snmp = new TSNMP(this);
    m_snmp->SetRemoteHost(mainForm()->Operations()->DeviceAddress);
    m_snmp->SetCommunity(kCommunity);
    Aborted = false;
    LastStatus.clear();
    takeOverTheRun();
    PollDevice();
    mainForm()->ShowPageOfClass(&TFrameFinish::staticMetaObject);
}

void TFrameWorkingInter::ShowStatus(const QString &Text, int Position)
{
    prbOverall->setValue(std::clamp(Position, prbOverall->minimum(), prbOverall->maximum()));
    prbOverall->repaint();
    showSubtitle(Text);
}

QString TFrameWorkingInter::ReadStatus()
{
    try {
        QString status;
        m_snmp->GetValue(kStatusObject, status);
        return status == QStringLiteral("timeout") ? QStringLiteral("Step X: Polling .......") : status;
    } catch (const std::exception &) {
        return QStringLiteral("could not get snmp info");
    }
}

void TFrameWorkingInter::AcknowledgeLastStep()
{
    try {
        m_snmp->SetValue(1, kStatusObject, QString());
    } catch (const std::exception &) {
        // The switch resets after its last step whether or not it heard the acknowledgement.
    }
}

void TFrameWorkingInter::PollDevice()
{
    const TTelnetOperations &operations = *mainForm()->Operations();
    if (operations.IsStack && operations.StackUnitCount > 1) {
        SetStepCount(kStackSteps);
        AddProgressLine(nullptr, QStringLiteral("Stackable device"));
    } else {
        SetStepCount(kStandaloneSteps);
        AddProgressLine(nullptr, QStringLiteral("Stabdalone (or Master)"));
    }
    int unchanged = 0;
    int step = 0;
    while (unchanged < kUnchangedReads) {
        const QString status = ReadStatus();
        if (status != LastStatus) {
            unchanged = 0;
            LastStatus = status;
            AddProgressLine(nullptr, status);
            step = statusStep(status).value_or(step);
            ShowStatus(status, step);
        } else {
            ++unchanged;
        }
        if (status.toLower().contains(QStringLiteral("last "))) {
            Platform::showMessage(MessageKind::Information, QStringLiteral("Device will now reset , and we will loose connection "));
            AcknowledgeLastStep();
            ShowStatus(QStringLiteral("Finished"), prbOverall->maximum());
            return;
        }
        // The window stays alive through the pause between two reads.
        Platform::pumpingWait(kPauseSteps, kPauseStepMs);
    }
    Platform::showMessage(MessageKind::Error, QStringLiteral("Quillo did not get respond from device intermediate version\n\r"
                                                             "Please try to re run the utility again."));
    Aborted = true;
    throw Exception(QStringLiteral("Application will now terminate , please try again later"));
}
