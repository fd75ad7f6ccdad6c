#include "run/UpgradeRun.h"

#include "access/SnmpSync.h"
#include "access/TelnetSync.h"
#include "platform/Clock.h"
#include "platform/Exceptions.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "upgrade/ShowParsers.h"
#include "payload/PayloadDigests.h"
#include "platform/WorkingFolder.h"
#include "run/StatusText.h"
#include "tftp/ITftpHost.h"
#include "upgrade/upgrade_device.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QScopeGuard>

using Platform::MessageKind;

namespace {

// The switch's sysContact: the unit count goes to the switch in it, its progress comes back.
const QString kStatusObject = QStringLiteral("1.3.6.1.2.1.1.") + QStringLiteral("4");
const QByteArray kCommunity = QByteArrayLiteral("vemtal");
constexpr int kStackSteps = 15;
constexpr int kStandaloneSteps = 7;
constexpr int kFullRunSteps = 5;
constexpr int kPauseSteps = 40;
constexpr int kPauseStepMs = 50;

const QString kIntermediatePrefix = QStringLiteral("Step3 : ");
const QString kFinalPrefix = QStringLiteral("Step 4:");
const QString kInventoryPrefix = QStringLiteral("Step1:");
const QString kInventoryStep = QStringLiteral("Taking the inventory");
const QString kPollingStep = QStringLiteral("Watching the switch's own upgrade");

bool runsIntermediateVersion(const TTelnetOperations &operations)
{
    return operations.CurrentVersion.toLower().contains(QStringLiteral("interim"));
}

QByteArray fileSha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

bool samePeer(const QString &a, const QString &b)
{
    return QHostAddress(a).isEqual(QHostAddress(b), QHostAddress::TolerantConversion);
}

} // namespace

// The procedure's hooks as they were before the run took them over.
struct TUpgradeRun::Hooks
{
    TMessageEvent OnMessage;
    std::function<void()> OnEndRequested;
    std::function<void(const TTransferRecord &)> OnTransferProgress;
    std::function<void(int)> OnLongPause;
};

TUpgradeRun::TUpgradeRun(TTelnetOperations &operations, ITftpHost &host, QObject *parent)
    : QObject(parent), m_operations(operations), m_host(host),
      m_savedHooks(std::make_unique<Hooks>(Hooks{operations.OnMessage, operations.OnEndRequested,
                                                 operations.OnTransferProgress, operations.OnLongPause}))
{
    m_operations.OnMessage = [this](MessageKind kind, const QString &text) {
        if (kind == MessageKind::Warning || kind == MessageKind::Error)
            m_lastTrouble = text;
        emit message(kind, text);
    };
    // The run ends by its own outcome; the owner decides what else ends with it.
    m_operations.OnEndRequested = {};
    m_operations.OnTransferProgress = [this](const TTransferRecord &transfer) {
        const TTransferProgress progress = transferProgressOf(transfer);
        // An image's rate tells how fast the switch's next image will move.
        if (!transfer.Writing && progress.Rate > 0)
            m_bytesPerSecond = progress.Rate;
        emit transferProgress(progress);
    };
    m_operations.OnLongPause = [this](int ms) {
        m_record.Timeline.append({TTimelineSpan::Kind::Wait, m_lastLine, QDateTime::currentDateTimeUtc(), ms});
        emit waitStarted(m_lastLine, ms);
    };
}

TUpgradeRun::~TUpgradeRun()
{
    m_operations.OnMessage = m_savedHooks->OnMessage;
    m_operations.OnEndRequested = m_savedHooks->OnEndRequested;
    m_operations.OnTransferProgress = m_savedHooks->OnTransferProgress;
    m_operations.OnLongPause = m_savedHooks->OnLongPause;
}

void TUpgradeRun::Interrupt()
{
    m_interrupted = true;
}

TRunResult TUpgradeRun::TakeInventory()
{
    Platform::setWaitInterruption(&m_interrupted);
    const auto uninstall = qScopeGuard([] { Platform::setWaitInterruption(nullptr); });
    m_step = kInventoryStep;
    const TProgressEvent progress = [this](TTelnetOperations *, const QString &text) {
        m_lastLine = text;
        emit progressLine(text);
        m_operations.Log << kInventoryPrefix + text;
    };
    try {
        const bool taken = m_operations.GatherInformation(progress);
        if (SaveLog)
            SaveLog();
        if (m_operations.EndRequested())
            return failed(m_lastTrouble);
        if (!taken) {
            const QString reason = QStringLiteral("Show system returned an illegal value therefore utility should terminate.");
            emit message(MessageKind::Warning, reason);
            return failed(reason);
        }
    } catch (const Platform::TWaitInterrupted &) {
        return {TRunOutcome::Interrupted, m_step, QStringLiteral("Interrupted by the operator while taking the inventory; nothing was changed on the switch."), {}};
    }
    return {TRunOutcome::Done, {}, {}, {}};
}

TRunResult TUpgradeRun::Run()
{
    Platform::setWaitInterruption(&m_interrupted);
    const auto uninstall = qScopeGuard([] { Platform::setWaitInterruption(nullptr); });
    m_record.Program = Program;
    m_record.Started = QDateTime::currentDateTimeUtc();
    takeState(m_record.Before);
    m_plan = planRun(m_operations, m_host);
    TRunResult result;
    try {
        result = runPhases();
    } catch (const Platform::TWaitInterrupted &) {
        m_operations.RequestEnd();
        result = {TRunOutcome::Interrupted, m_step, stateWhenStopped(), {}};
    } catch (const std::exception &error) {
        const auto *own = dynamic_cast<const Exception *>(&error);
        const QString text = own ? own->message() : QString::fromLocal8Bit(error.what());
        result = failed(m_lastTrouble.isEmpty() ? text : m_lastTrouble, text);
    }
    finishRecord(result);
    if (SaveLog)
        SaveLog();
    const QString unwritten = writeRecordFiles(m_record);
    if (!unwritten.isEmpty())
        emit message(MessageKind::Warning, unwritten);
    emit finished(result);
    return result;
}

TRunResult TUpgradeRun::runPhases()
{
    if (m_operations.FinalVersion == m_operations.CurrentVersion) {
        return {TRunOutcome::AlreadyFinal, {},
                QStringLiteral("The switch already runs the final version ") + m_operations.FinalVersion
                    + QStringLiteral("; nothing was changed."),
                {}};
    }
    const QString damaged = damagedImage();
    if (!damaged.isEmpty()) {
        m_step = QStringLiteral("Checking the images");
        emit message(MessageKind::Error, damaged);
        return failed(damaged);
    }
    m_phase = TRunPhase::Intermediate;
    emit phaseStarted(m_phase);
    if (runsIntermediateVersion(m_operations)) {
        shortPath();
        return finalRun();
    }
    m_firstBackup = m_operations.ConfigFileName;
    for (;;) {
        if (!fullRun())
            return failed(m_lastTrouble);
        if (runsIntermediateVersion(m_operations)) {
            finalRun();
            return confirmFinalVersion();
        }
        const QString failure = afterTheReset();
        if (!failure.isEmpty()) {
            emit message(MessageKind::Error, failure + QStringLiteral("\n\rApplication will terminate."));
            addProgressLine(failure);
            return failed(failure);
        }
    }
}

QString TUpgradeRun::damagedImage() const
{
    const std::unique_ptr<QIODevice> list = m_host.OpenAppendixFile(kDigestListName);
    const std::optional<QByteArray> digests = list ? std::optional(list->readAll()) : std::nullopt;
    QStringList images{m_operations.FinalImage};
    if (!runsIntermediateVersion(m_operations))
        images.prepend(m_operations.InterimImage);
    for (const QString &name : std::as_const(images)) {
        QFile file(WorkingFolder() + name);
        // An image the payload did not hold was never extracted; the switch's copy says so.
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString problem = digestProblem(digests, name, file.readAll());
        if (!problem.isEmpty())
            return problem + QStringLiteral("\n\rNothing was sent to the switch.");
    }
    return {};
}

void TUpgradeRun::shortPath()
{
    const TProgressEvent progress = [this](TTelnetOperations *, const QString &text) { addProgressLine(text); };
    startStep(1, QStringLiteral("Saving IP address and location"));
    m_operations.SaveIPAndLocation(progress);
    noteWritten(Written::Location);
    m_operations.EnableSnmpAccess(progress);
    noteWritten(Written::Community);
    m_operations.SaveUnitCount(progress);
    noteWritten(Written::Contact);
}

bool TUpgradeRun::fullRun()
{
    const TProgressEvent progress = [this](TTelnetOperations *, const QString &text) { addProgressLine(text); };
    ++m_fullRuns;
    emit stepCountChanged(kFullRunSteps);
    startStep(1, QStringLiteral("Saving configuration file from device "));
    // The operator's file keeps the configuration as it was before anything changed; a later
    // run's configuration, with the settings the first one made, goes beside it.
    if (m_fullRuns > 1) {
        const QString later = laterBackupPath(m_firstBackup, m_fullRuns);
        addProgressLine(QStringLiteral("The configuration taken before anything changed stays at ") + m_firstBackup
                        + QStringLiteral("; this run's goes to ") + later);
        m_operations.SetConfigFileName(later);
    }
    {
        const auto operatorsPath = qScopeGuard([this] { m_operations.SetConfigFileName(m_firstBackup); });
        if (!m_operations.BackupConfiguration(progress)) {
            m_operations.RequestEnd();
            return false;
        }
        noteBackup();
    }
    m_operations.EnableSnmpAccess(progress);
    noteWritten(Written::Community);
    m_operations.SaveUnitCount(progress);
    noteWritten(Written::Contact);
    if (m_fullRuns == 1)
        m_record.Before.Units = [this] {
            QList<TUnitState> units;
            for (const TUnitVersion &unit : std::as_const(m_operations.UnitVersions))
                units.append({unit.Unit, unit.Version});
            return units;
        }();
    startStep(2, QStringLiteral("Updating Image to device"));
    if (!m_operations.DownloadImage(progress))
        return false;
    startStep(3, QStringLiteral("Saving IP address and location"));
    m_operations.SaveIPAndLocation(progress);
    noteWritten(Written::Location);
    startStep(4, QStringLiteral("switching to other image"));
    m_operations.SwitchToOtherImage(progress);
    startStep(5, QStringLiteral("Resetting device"));
    m_operations.ResetDevice(progress);
    m_record.AfterReset.emplace();
    takeState(*m_record.AfterReset);
    startStep(6, QStringLiteral("Finished"));
    return true;
}

QString TUpgradeRun::afterTheReset()
{
    // A switch that is not back may still be writing an image: it is never sent a new run.
    if (!m_operations.Telnet->Connected()) {
        return QStringLiteral("The switch did not answer after its reset.\n\rCheck that it has started and that ")
            + m_operations.DeviceAddress + QStringLiteral(" reaches it, then run the utility again.");
    }
    if (m_fullRuns >= kMaxFullRuns) {
        return QStringLiteral("The switch came back from its reset running ") + m_operations.CurrentVersion
            + QStringLiteral(", not the intermediate version, %1 times.\n\rCheck its image slots (\"show bootvar\") "
                             "and its console, then run the utility again.")
                  .arg(m_fullRuns);
    }
    return {};
}

TRunResult TUpgradeRun::finalRun()
{
    if (SaveLog)
        SaveLog();
    m_phase = TRunPhase::Final;
    emit phaseStarted(m_phase);
    m_step = kPollingStep;
    m_snmp = new TSNMP(this);
    m_snmp->SetRemoteHost(m_operations.DeviceAddress);
    m_snmp->SetCommunity(kCommunity);
    m_lastStatus.clear();
    if (!PollDevice()) {
        const QString lost = QStringLiteral("Quillo did not get respond from device intermediate version\n\r"
                                            "Please try to re run the utility again.");
        m_lastTrouble = lost;
        emit message(MessageKind::Error, lost);
        throw Exception(QStringLiteral("Application will now terminate , please try again later"));
    }
    return {TRunOutcome::Done, {}, QStringLiteral("The switch reported the last step of its upgrade to ")
                                       + m_operations.FinalVersion + QStringLiteral(" and resets into it."),
            {}};
}

QString TUpgradeRun::ReadStatus()
{
    try {
        QString status;
        m_snmp->GetValue(kStatusObject, status);
        return status == QStringLiteral("timeout") ? QStringLiteral("Step X: Polling .......") : status;
    } catch (const std::exception &) {
        return QStringLiteral("could not get snmp info");
    }
}

void TUpgradeRun::AcknowledgeLastStep()
{
    try {
        m_snmp->SetValue(1, kStatusObject, QString());
    } catch (const std::exception &) {
        // The switch resets after its last step whether or not it heard the acknowledgement.
    }
}

bool TUpgradeRun::PollDevice()
{
    const int steps = m_operations.IsStack && m_operations.StackUnitCount > 1 ? kStackSteps : kStandaloneSteps;
    emit stepCountChanged(steps);
    addProgressLine(steps == kStackSteps ? QStringLiteral("Stackable device") : QStringLiteral("Stabdalone (or Master)"));
    // Until the intermediate image reports, the object still holds what the run wrote into
    // it (the unit count): no status of the switch's, and no text for the operator.
    const QString written = writtenContact();
    int step = 0;
    int furthestStep = 0;
    quint32 lastNewStep = Platform::tickCount();
    while (Platform::tickCount() - lastNewStep < quint32(kStepSilenceMs)) {
        const QString read = ReadStatus();
        const QString status = read == written ? QStringLiteral("Waiting for the switch to report its first step") : read;
        if (status != m_lastStatus) {
            m_lastStatus = status;
            addProgressLine(status);
            step = statusStep(status).value_or(step);
            if (step > furthestStep) {
                furthestStep = step;
                lastNewStep = Platform::tickCount();
            }
            m_record.Timeline.append({TTimelineSpan::Kind::Step, status, QDateTime::currentDateTimeUtc(), 0});
            emit statusRead(status, step);
            updateEstimate(m_plan.ownUpgradeSegment(), double(step) / double(steps));
        }
        if (status.toLower().contains(QStringLiteral("last "))) {
            emit message(MessageKind::Information, QStringLiteral("Device will now reset , and we will loose connection "));
            AcknowledgeLastStep();
            startStep(steps, QStringLiteral("Finished"));
            return true;
        }
        Platform::pumpingWait(kPauseSteps, kPauseStepMs);
    }
    return false;
}

TRunResult TUpgradeRun::confirmFinalVersion()
{
    m_step = kConfirmStep;
    m_record.Timeline.append({TTimelineSpan::Kind::Step, m_step, QDateTime::currentDateTimeUtc(), 0});
    updateEstimate(m_plan.Segments.size() - 1);
    TTelnet &telnet = *m_operations.Telnet;
    // The switch resets now; its session goes with it.
    telnet.CanDisconnect = true;
    telnet.SetConnected(false);
    addProgressLine(QStringLiteral("Waiting for the switch to come back with the final version...."));
    m_operations.Pause(m_operations.IsStack ? kFinalStackResetMs : kFinalResetMs);
    addProgressLine(QStringLiteral("Trying to connect to device on its final version ....."));
    m_record.After.emplace();
    bool answered = false;
    for (int attempt = 1; attempt <= kConfirmAttempts && !answered; ++attempt) {
        if (attempt > 1) {
            telnet.CanDisconnect = true;
            telnet.SetConnected(false);
            m_operations.Pause(25'000);
        }
        answered = m_operations.WaitForDevice(400) && readFinalState(*m_record.After);
    }
    telnet.CanDisconnect = false;
    const QString finalVersion = m_operations.FinalVersion;
    if (!answered) {
        m_record.After.reset();
        const QString lost = QStringLiteral("The switch reported the last step of its upgrade, but did not answer after "
                                            "its reset.\n\rCheck on its console that it has started with version ")
            + finalVersion + QStringLiteral(" and that ") + m_operations.DeviceAddress + QStringLiteral(" reaches it.");
        emit message(MessageKind::Warning, lost);
        addProgressLine(lost.section(QStringLiteral("\n\r"), 0, 0));
        return {TRunOutcome::Unconfirmed, m_step, lost, {}};
    }
    const TSwitchState &after = *m_record.After;
    QStringList read{QStringLiteral("version ") + after.Version};
    bool final = after.Version == finalVersion;
    for (const TUnitState &unit : after.Units) {
        read << QStringLiteral("unit %1: %2").arg(unit.Unit).arg(unit.Version);
        final = final && unit.Version == finalVersion;
    }
    if (!final) {
        const QString other = QStringLiteral("The switch came back from its last reset, but not every unit runs version ")
            + finalVersion + QStringLiteral(": it reported ") + read.join(QStringLiteral(", "))
            + QStringLiteral(".\n\rCheck its image slots (\"show bootvar\") and its console before you use it.");
        emit message(MessageKind::Warning, other);
        addProgressLine(other.section(QStringLiteral("\n\r"), 0, 0));
        return {TRunOutcome::Unconfirmed, m_step, other, {}};
    }
    addProgressLine(QStringLiteral("The switch runs version ") + finalVersion);
    return {TRunOutcome::Done, {}, QStringLiteral("The switch runs the final version ") + finalVersion + QLatin1Char('.'), {}};
}

bool TUpgradeRun::readFinalState(TSwitchState &state)
{
    if (!m_operations.Login())
        return false;
    TTelnet &telnet = *m_operations.Telnet;
    const QString unit = m_operations.StackUnit;
    state.ReadAt = QDateTime::currentDateTimeUtc();
    telnet.SendLineWaitForPrompt(QStringLiteral("show version") + unit + QStringLiteral("\n"), kPromptPolls);
    state.Version = ParseVersion(telnet.Received, QStringLiteral("SW version")).Version;
    telnet.SendLineWaitForPrompt(QStringLiteral("show bootvar") + unit + QStringLiteral("\n"), kPromptPolls);
    const TBootVar boot = ParseBootVar(telnet.Received);
    state.ActiveImage = boot.Active;
    state.NextImage = boot.Next;
    state.Units.clear();
    if (m_operations.IsStack) {
        // Without a unit: the answer lists every unit of the stack.
        telnet.SendLineWaitForPrompt(QStringLiteral("show version \n"), kPromptPolls);
        for (const TUnitVersion &listed : parseUnitVersions(telnet.Received))
            state.Units.append({listed.Unit, listed.Version});
    }
    telnet.ClearReceived();
    return !state.Version.isEmpty();
}

void TUpgradeRun::startStep(int position, const QString &text)
{
    m_step = text.trimmed();
    m_record.Timeline.append({TTimelineSpan::Kind::Step, m_step, QDateTime::currentDateTimeUtc(), 0});
    emit stepStarted(position, text);
    // "Finished" of the final phase leaves the confirmation.
    if (m_phase == TRunPhase::Final) {
        updateEstimate(m_plan.Segments.size() - 1);
        return;
    }
    const auto segment = std::find_if(m_plan.Segments.cbegin(), m_plan.Segments.cend(),
                                      [&](const TRunPlan::Segment &planned) { return planned.Step == m_step; });
    // "Finished" ends the run's part: what is left is the switch's own upgrade.
    updateEstimate(segment == m_plan.Segments.cend() ? m_plan.ownUpgradeSegment() : segment - m_plan.Segments.cbegin());
}

void TUpgradeRun::updateEstimate(qsizetype segment, double done)
{
    emit estimateChanged(m_plan.remainingMs(segment, m_bytesPerSecond, done));
}

QString TUpgradeRun::stateWhenStopped() const
{
    const QString again = QStringLiteral(" Run the upgrade again once you have checked the switch.");
    if (m_phase == TRunPhase::Final) {
        return QStringLiteral("Stopped while the switch upgrades itself to the final version: it goes on by itself, "
                              "and fetches the final image from this PC's TFTP server, which is gone now. Do not power it "
                              "off. Run the upgrade again soon: it finds the switch on the intermediate image, serves the "
                              "final image and watches its last steps.");
    }
    if (m_step == QStringLiteral("Saving configuration file from device")) {
        return QStringLiteral("Stopped while the switch saved its configuration to this PC: nothing on the switch had "
                              "changed yet, and the backup of this run is not complete.")
            + again;
    }
    if (m_step == QStringLiteral("Updating Image to device")) {
        return QStringLiteral("Stopped while the switch was writing the intermediate image into its inactive image slot: "
                              "its copy fails without this PC's TFTP server and that slot holds no usable image; its "
                              "running image and its boot selection are unchanged. Its SNMP community, contact and "
                              "location are set in its running configuration.")
            + again;
    }
    if (m_step == QStringLiteral("Saving IP address and location") || m_step == QStringLiteral("switching to other image")) {
        return QStringLiteral("Stopped while the switch's settings were written and saved (\"copy run star\") and its next "
                              "boot image chosen: it holds the intermediate image and may boot it at its next reset. "
                              "Check \"show bootvar\".")
            + again;
    }
    if (m_step == QStringLiteral("Resetting device") || m_step == QStringLiteral("Finished")) {
        return QStringLiteral("Stopped while the switch resets into the intermediate image, which then upgrades itself to "
                              "the final version and fetches the final image from this PC's TFTP server, which is gone "
                              "now. Do not power it off. Run the upgrade again soon: it finds the switch on the "
                              "intermediate image, serves the final image and watches its last steps.");
    }
    return QStringLiteral("Stopped before anything was changed on the switch.");
}

void TUpgradeRun::addProgressLine(const QString &text)
{
    m_lastLine = text;
    emit progressLine(text);
    QStringList &log = m_operations.Log;
    log << (m_phase == TRunPhase::Final ? kFinalPrefix : kIntermediatePrefix) + text;
    if (log.size() % 10 == 0 && SaveLog)
        SaveLog();
}

TRunResult TUpgradeRun::failed(const QString &reason, const QString &error)
{
    m_operations.RequestEnd();
    return {TRunOutcome::Failed, m_step, reason, error};
}

void TUpgradeRun::takeState(TSwitchState &state) const
{
    state.ReadAt = QDateTime::currentDateTimeUtc();
    state.Version = m_operations.CurrentVersion;
    state.ActiveImage = m_operations.ActiveImage;
    state.NextImage = m_operations.ImageAfterReset;
}

void TUpgradeRun::noteBackup()
{
    const QString path = m_operations.ConfigFileName;
    m_record.Backups.append({path, QFileInfo(path).size(), fileSha256(path), m_fullRuns});
    m_operations.Trace(QStringLiteral("Trace: configuration of run %1 saved to").arg(m_fullRuns), path);
}

QString TUpgradeRun::laterBackupPath(const QString &first, int run)
{
    const QFileInfo file(first);
    const QString suffix = file.completeSuffix();
    const QString name = file.baseName() + QStringLiteral(".run%1").arg(run)
        + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
    return Platform::folderPart(first) + name;
}

QString TUpgradeRun::writtenContact() const
{
    return (m_operations.IsStack ? QString::number(m_operations.StackUnitCount) : QStringLiteral("0"))
        + (m_operations.DhcpAfterReset ? QStringLiteral(",") : QString());
}

void TUpgradeRun::noteWritten(Written setting)
{
    QString text;
    switch (setting) {
    case Written::Community:
        text = QStringLiteral("snmp-server community vemtal su");
        break;
    case Written::Contact:
        text = QStringLiteral("snmp-server contact ") + writtenContact();
        break;
    case Written::Location:
        text = QStringLiteral("snmp-server location ") + m_operations.Telnet->LocalHost();
        break;
    }
    const QString key = text.section(u' ', 0, 1);
    m_written.erase(std::remove_if(m_written.begin(), m_written.end(),
                                   [&](const QString &written) { return written.section(u' ', 0, 1) == key; }),
                    m_written.end());
    m_written << text;
}

void TUpgradeRun::finishRecord(const TRunResult &result)
{
    TRunRecord &record = m_record;
    record.Ended = QDateTime::currentDateTimeUtc();
    record.Result = result;
    record.SwitchAddress = m_operations.DeviceAddress;
    record.Type = m_operations.SystemInfo.Type;
    record.ObjectId = m_operations.SystemInfo.ObjectId;
    record.SystemName = m_operations.SystemInfo.Name;
    record.MacAddress = m_operations.SystemInfo.MacAddress;
    record.IsStack = m_operations.IsStack;
    record.Units = m_operations.IsStack ? std::max<int>(m_operations.StackUnitCount, int(m_operations.UnitVersions.size())) : 1;
    record.TftpServerAddress = m_operations.TftpServerAddress;
    record.DhcpAfterReset = m_operations.DhcpAfterReset;
    record.InterimImage = m_operations.InterimImage;
    record.FinalImage = m_operations.FinalImage;
    record.FinalVersion = m_operations.FinalVersion;
    record.LogPath = LogPath;

    for (const TTransferRecord &transfer : m_host.TransfersOf(m_operations.DeviceAddress)) {
        if (!samePeer(transfer.Peer.PeerIP, m_operations.DeviceAddress))
            continue;
        const QString name = QFileInfo(transfer.FileName).fileName();
        record.Timeline.append({TTimelineSpan::Kind::Transfer, name, transfer.Started,
                                transfer.Started.msecsTo(transfer.ended() ? transfer.Ended : record.Ended)});
        if (transfer.Writing)
            continue;
        TServedImage image;
        image.Name = name;
        image.Size = transfer.Size;
        image.Sha256 = fileSha256(transfer.FileName);
        image.Started = transfer.Started;
        image.Ended = transfer.Ended;
        image.Bytes = transfer.Bytes;
        image.Retransmissions = transfer.Retransmissions;
        image.Completed = transfer.Status == TTransferRecord::State::Completed;
        record.Images.append(image);
    }
    std::stable_sort(record.Timeline.begin(), record.Timeline.end(),
                     [](const TTimelineSpan &a, const TTimelineSpan &b) { return a.Started < b.Started; });
    // A step lasts until the next step begins.
    QDateTime next = record.Ended;
    for (qsizetype i = record.Timeline.size() - 1; i >= 0; --i) {
        TTimelineSpan &span = record.Timeline[i];
        if (span.Type != TTimelineSpan::Kind::Step)
            continue;
        span.DurationMs = span.Started.msecsTo(next);
        next = span.Started;
    }

    record.LeftConfigured = m_written;
    if (!m_written.isEmpty()) {
        record.RemovalCommands << QStringLiteral("configure");
        for (const QString &setting : std::as_const(m_written)) {
            // The community is removed by name; location and contact by their keyword.
            const int words = setting.startsWith(QStringLiteral("snmp-server community")) ? 3 : 2;
            record.RemovalCommands << QStringLiteral("no ") + setting.section(u' ', 0, words - 1);
        }
        record.RemovalCommands << QStringLiteral("exit") << QStringLiteral("copy run star");
    }
    const QString stem = Platform::folderPart(m_operations.ConfigFileName) + QStringLiteral("Quillo_")
        + m_operations.DeviceAddress;
    record.RecordPath = stem + QStringLiteral(".result.json");
    record.ReportPath = stem + QStringLiteral(".report.html");
}
