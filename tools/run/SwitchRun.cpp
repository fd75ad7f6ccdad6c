#include "SwitchRun.h"

#include "BackupFiles.h"
#include "RunOptions.h"

#include "app/files/WizardFiles.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/WorkingFolder.h"
#include "run/UpgradeRun.h"
#include "upgrade/upgrade_device.h"

#include <QScopeGuard>

#include <csignal>
#include <utility>
#include <pthread.h>

using Platform::MessageKind;

namespace {

// The run's step that has the switch save its configuration to the backup path.
const QString kBackupStep = QStringLiteral("Saving configuration file from device");
// The name the run gives the inventory, where it stops when that fails.
const QString kInventoryStep = QStringLiteral("Taking the inventory");

TInventorySummary inventoryOf(const TTelnetOperations &operations)
{
    TInventorySummary summary;
    summary.SwitchAddress = operations.DeviceAddress;
    summary.Type = operations.SystemInfo.Type;
    summary.ObjectId = operations.SystemInfo.ObjectId;
    summary.SystemName = operations.SystemInfo.Name;
    summary.MacAddress = operations.SystemInfo.MacAddress;
    summary.Version = operations.CurrentVersion;
    summary.ActiveImage = operations.ActiveImage;
    summary.NextImage = operations.ImageAfterReset;
    summary.IsStack = operations.IsStack;
    summary.Units = operations.IsStack ? operations.StackUnitCount : 1;
    summary.FinalVersion = operations.FinalVersion;
    summary.InterimImage = operations.InterimImage;
    summary.FinalImage = operations.FinalImage;
    summary.TftpAddress = operations.TftpServerAddress;
    return summary;
}

int exitStatusOfRun(TRunOutcome outcome)
{
    switch (outcome) {
    case TRunOutcome::Done:
    case TRunOutcome::AlreadyFinal:
        return kExitFinal;
    case TRunOutcome::Interrupted:
        return kExitInterrupted;
    case TRunOutcome::Unconfirmed:
        return kExitUnconfirmed;
    case TRunOutcome::Failed:
        break;
    }
    return kExitRunFailed;
}

// Process signals go to the main thread, which turns them into an interruption; the run's
// waits never see them.
void blockStopSignals()
{
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
}

} // namespace

void TSwitchRun::JoinThread::operator()(QThread *thread) const
{
    thread->wait();
    delete thread;
}

TSwitchRun::TSwitchRun(const TSwitchRunSettings &settings, ITftpHost &host, QObject *parent)
    : QObject(parent), m_settings(settings), m_host(host)
{
}

TSwitchRun::~TSwitchRun()
{
    interrupt();
}

QString TSwitchRun::logPath() const
{
    return Platform::folderPart(m_settings.BackupPath) + TRunLogFiles::logName(m_settings.SwitchAddress);
}

void TSwitchRun::start()
{
    Q_ASSERT(!m_thread);
    m_thread.reset(QThread::create([this] { work(); }));
    m_thread->setObjectName(QStringLiteral("run ") + m_settings.SwitchAddress);
    m_thread->start();
}

void TSwitchRun::interrupt()
{
    const QMutexLocker lock(&m_mutex);
    m_interruptRequested = true;
    if (m_upgrade)
        m_upgrade->Interrupt();
}

void TSwitchRun::attach(TUpgradeRun *upgrade)
{
    const QMutexLocker lock(&m_mutex);
    m_upgrade = upgrade;
    if (m_upgrade && m_interruptRequested)
        m_upgrade->Interrupt();
}

void TSwitchRun::work()
{
    blockStopSignals();
    TTelnetOperations operations;
    operations.UserName = m_settings.UserName;
    operations.Password = m_settings.Password;
    operations.DeviceAddress = m_settings.SwitchAddress;
    operations.SetConfigFileName(m_settings.BackupPath);
    operations.SetDhcpAfterReset(m_settings.DhcpAfterReset);
    operations.TftpHost = &m_host;
    // Nothing of one switch's run may reach the process: its end request would end every
    // switch's run, and the dialogs are the program's. The upgrade takes both over while it
    // exists; before and after it they stay this switch's.
    operations.OnEndRequested = {};
    operations.OnMessage = [this](MessageKind kind, const QString &text) { emit message(kind, text); };

    TRunLogFiles logFiles;
    bool logTroubleTold = false;
    // A log that cannot be written is said once; the run goes on.
    const auto saveLog = [&] {
        try {
            logFiles.save(m_settings.SwitchAddress, m_settings.BackupPath, operations.Log, WorkingFolder());
        } catch (const Exception &error) {
            if (!std::exchange(logTroubleTold, true))
                emit message(MessageKind::Warning, QStringLiteral("The run log could not be saved: ") + error.message());
        }
    };
    TSwitchRunEnd end;
    end.SwitchAddress = m_settings.SwitchAddress;
    end.BackupPath = m_settings.BackupPath;
    end.LogPath = logPath();
    try {
        TUpgradeRun upgrade(operations, m_host);
        upgrade.Program = m_settings.Program;
        upgrade.LogPath = end.LogPath;
        upgrade.SaveLog = saveLog;
        forwardSignals(upgrade);
        // After the forwarding, so that the displays show the step before what is kept.
        // Only the first backup goes to the operator's path; a later full run's goes beside it.
        bool backupStarted = false;
        connect(
            &upgrade, &TUpgradeRun::stepStarted, &upgrade,
            [&](int, const QString &text) {
                if (text.trimmed() == kBackupStep && !std::exchange(backupStarted, true))
                    keepEarlierBackup(operations, upgrade);
            },
            Qt::DirectConnection);
        attach(&upgrade);
        // Gone before the run is: an interruption never reaches a run that no longer exists.
        const auto detach = qScopeGuard([this] { attach(nullptr); });
        runStages(operations, upgrade, end);
    } catch (...) {
        // The run reports its own failures; only a fault of this program's comes here.
        const QString reason = QStringLiteral("tessaro-run stopped on an unexpected error; the log tells how far it came.");
        end.ExitStatus = kExitRunFailed;
        end.Result = {TRunOutcome::Failed, {}, reason, {}};
        emit message(MessageKind::Error, reason);
    }
    saveLog();
    emit ended(end);
}

void TSwitchRun::runStages(TTelnetOperations &operations, TUpgradeRun &upgrade, TSwitchRunEnd &end)
{
    emit stepStarted(0, kInventoryStep);
    const TRunResult inventory = upgrade.TakeInventory();
    if (!inventory.succeeded()) {
        end.Result = inventory;
        if (end.Result.Step.isEmpty())
            end.Result.Step = kInventoryStep;
        end.ExitStatus = inventory.Outcome == TRunOutcome::Interrupted ? kExitInterrupted : kExitInventoryFailed;
        return;
    }
    operations.TftpServerAddress = m_settings.TftpAddress.isEmpty() ? operations.LocalAddress : m_settings.TftpAddress;
    end.Inventory = inventoryOf(operations);
    emit inventoryTaken(*end.Inventory);

    if (m_settings.PlanOnly) {
        end.Plan = planRun(operations, m_host);
        end.Result = {TRunOutcome::Done, {},
                      QStringLiteral("A plan only: the switch received nothing but the log-in and \"show\" commands."),
                      {}};
        end.ExitStatus = kExitFinal;
        return;
    }

    end.Result = upgrade.Run();
    end.Record = upgrade.Record();
    end.ExitStatus = exitStatusOfRun(end.Result.Outcome);
    if (!m_backupNotKept.isEmpty() && end.Result.Outcome == TRunOutcome::Interrupted) {
        end.Result = {TRunOutcome::Failed, kBackupStep, m_backupNotKept, {}};
        end.ExitStatus = kExitRunFailed;
    }
    if (end.Result.succeeded()) {
        // The closing lines of the wizard's log, so that both faces' logs read alike.
        const QString rule(40, u'-');
        operations.Log << rule << rule << QStringLiteral("----Tessaro competed succesfully----") << rule << rule;
    }
}

void TSwitchRun::forwardSignals(TUpgradeRun &upgrade)
{
    connect(&upgrade, &TUpgradeRun::phaseStarted, this, &TSwitchRun::phaseStarted, Qt::DirectConnection);
    connect(&upgrade, &TUpgradeRun::stepCountChanged, this, &TSwitchRun::stepCountChanged, Qt::DirectConnection);
    connect(&upgrade, &TUpgradeRun::stepStarted, this, &TSwitchRun::stepStarted, Qt::DirectConnection);
    connect(&upgrade, &TUpgradeRun::progressLine, this, &TSwitchRun::progressLine, Qt::DirectConnection);
    connect(&upgrade, &TUpgradeRun::statusRead, this, &TSwitchRun::statusRead, Qt::DirectConnection);
    connect(&upgrade, &TUpgradeRun::waitStarted, this, &TSwitchRun::waitStarted, Qt::DirectConnection);
    connect(&upgrade, &TUpgradeRun::message, this, &TSwitchRun::message, Qt::DirectConnection);
    connect(&upgrade, &TUpgradeRun::estimateChanged, this, &TSwitchRun::estimateChanged, Qt::DirectConnection);
}

void TSwitchRun::keepEarlierBackup(TTelnetOperations &operations, TUpgradeRun &upgrade)
{
    const TKeptBackup kept = ::keepEarlierBackup(m_settings.BackupPath);
    if (!kept.Error.isEmpty()) {
        m_backupNotKept = kept.Error;
        operations.Log << kept.Error;
        emit message(MessageKind::Error, kept.Error);
        upgrade.Interrupt();
        return;
    }
    if (kept.KeptAs.isEmpty())
        return;
    const QString text = QStringLiteral("The existing file %1 is kept as %2; the new backup goes to %1.")
                             .arg(m_settings.BackupPath, kept.KeptAs);
    operations.Log << text;
    emit message(MessageKind::Information, text);
}
