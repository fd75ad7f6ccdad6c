#pragma once

#include "RunDisplay.h"

#include <QMutex>
#include <QObject>
#include <QThread>

#include <memory>

class ITftpHost;
class TTelnetOperations;
class TUpgradeRun;

struct TSwitchRunSettings
{
    QString SwitchAddress;
    QString UserName;
    QString Password;
    QString BackupPath;
    bool DhcpAfterReset = false;
    // Empty: the PC's address on the telnet connection, as the wizard chooses it.
    QString TftpAddress;
    // Log in, take the inventory and plan; nothing more reaches the switch.
    bool PlanOnly = false;
    // The program and its version, for the record.
    QString Program;
};

// One switch's run on a thread of its own: the procedure (TTelnetOperations, its terminal)
// and the run (TUpgradeRun) are made on that thread, so that their sockets live there and
// their waits pump that thread's events. Many of these may share one TFTP host, which runs
// on the main thread. Every signal is emitted on the run's thread, so a receiver on the main
// thread gets it queued, in order; ended() comes last.
class TSwitchRun final : public QObject
{
    Q_OBJECT

public:
    TSwitchRun(const TSwitchRunSettings &settings, ITftpHost &host, QObject *parent = nullptr);
    // Interrupts a run that still goes on and waits for its thread.
    ~TSwitchRun() override;
    Q_DISABLE_COPY_MOVE(TSwitchRun)

    const QString &switchAddress() const { return m_settings.SwitchAddress; }
    // Run log beside the backup: "Quillo_<address>.log".
    QString logPath() const;

    void start();
    // From any thread, at any time: the run stops at its next wait, saves its log and ends
    // Interrupted, saying in what state the switch is left.
    void interrupt();

signals:
    void phaseStarted(TRunPhase phase);
    void stepCountChanged(int count);
    void stepStarted(int position, const QString &text);
    void progressLine(const QString &text);
    void statusRead(const QString &status, int step);
    void waitStarted(const QString &text, int ms);
    void message(Platform::MessageKind kind, const QString &text);
    void estimateChanged(qint64 ms);
    void inventoryTaken(const TInventorySummary &inventory);
    void ended(const TSwitchRunEnd &end);

private:
    struct JoinThread
    {
        void operator()(QThread *thread) const;
    };

    // The whole run, on the run's thread.
    void work();
    void runStages(TTelnetOperations &operations, TUpgradeRun &upgrade, TSwitchRunEnd &end);
    void forwardSignals(TUpgradeRun &upgrade);
    // Before the switch saves its configuration: a file already at the backup path is kept.
    void keepEarlierBackup(TTelnetOperations &operations, TUpgradeRun &upgrade);
    // The run the interruption reaches; nullptr while there is none.
    void attach(TUpgradeRun *upgrade);

    const TSwitchRunSettings m_settings;
    ITftpHost &m_host;
    QMutex m_mutex;
    TUpgradeRun *m_upgrade = nullptr;
    bool m_interruptRequested = false;
    // Why the earlier backup could not be kept, when the run stopped for it.
    QString m_backupNotKept;
    std::unique_ptr<QThread, JoinThread> m_thread;
};
