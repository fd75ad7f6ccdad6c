#pragma once

#include "platform/Dialogs.h"
#include "run/RunEvents.h"
#include "run/RunPlan.h"
#include "run/RunRecord.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class ITftpHost;
class TSNMP;
class TTelnetOperations;

// A whole upgrade of one switch, from the configuration backup to the switch's last step of
// its self-upgrade, with no window of its own: the wizard's run pages and tessaro-run are its
// views. It drives the procedure (TTelnetOperations) and watches the self-upgrade over SNMP,
// tells its observers what happens through its signals, and ends in one way, a TRunResult,
// which each face shows as it shows things. The procedure's messages for the operator come
// out as message(); the owner decides how they are shown.
//
// Run() runs on the calling thread and returns when the run has ended; every wait pumps that
// thread's events, so the thread must have an event dispatcher (the user-interface thread, or
// a QThread of its own). Interrupt() may be called from any thread.
class TUpgradeRun final : public QObject
{
    Q_OBJECT

public:
    // Full runs made for a switch that came back from its reset without the intermediate
    // version, before the operator is asked to look at the switch: one more run covers a
    // switch that booted its old slot once; a switch that does it again rejects the image.
    static constexpr int kMaxFullRuns = 2;
    // Program time without a new step of the self-upgrade before the switch counts as lost:
    // what 330 reads two seconds apart once gave, however long each read takes and however
    // the texts between two steps change.
    static constexpr int kStepSilenceMs = 330 * 2000;
    // The waits of the confirmation: the switch's reset into the final version (a stack's is
    // longer), then the attempts to log in once it answers.
    static constexpr int kFinalResetMs = 70'000;
    static constexpr int kFinalStackResetMs = 190'000;
    static constexpr int kConfirmAttempts = 3;

    // Takes over the procedure's messages and its end request until it is destroyed.
    TUpgradeRun(TTelnetOperations &operations, ITftpHost &host, QObject *parent = nullptr);
    ~TUpgradeRun() override;
    Q_DISABLE_COPY_MOVE(TUpgradeRun)

    // The program and its version, for the record ("tessaro 1.0.0.1").
    QString Program;
    // Where the owner keeps the run log, for the record.
    QString LogPath;
    // Writes the run log where the owner keeps it; the run calls it at every tenth line, when
    // the switch starts its own upgrade and when the run ends.
    std::function<void()> SaveLog;

    // Logs in and takes the inventory, for a face that has no device page to do it: the lines
    // go to the log with the device page's prefix. Fails with the procedure's own messages.
    TRunResult TakeInventory();
    // The upgrade itself, once the inventory is taken and the TFTP server serves.
    TRunResult Run();
    // Ends the run at its next wait, from any thread: it stops where it stands, saves the log
    // and ends Interrupted.
    void Interrupt();

    // The evidence of the run as far as it has come; whole once Run() has returned.
    const TRunRecord &Record() const { return m_record; }

    // One read of the self-upgrade's status: the text, "Step X: Polling ......." when the switch
    // does not answer, "could not get snmp info" when the read fails.
    QString ReadStatus();
    // Writes an empty status: the switch may go on to its reset.
    void AcknowledgeLastStep();

signals:
    void phaseStarted(TRunPhase phase);
    // The overall bar's maximum: the steps of the path, or those the switch will report.
    void stepCountChanged(int count);
    // A step begins: the bar to position (within its range), the step's text.
    void stepStarted(int position, const QString &text);
    // A text for the operator's memo and the run log.
    void progressLine(const QString &text);
    void transferProgress(const TTransferProgress &progress);
    // A status the switch reported that differs from the one before.
    void statusRead(const QString &status, int step);
    // A pause of ms begins, after the progress line that announced it.
    void waitStarted(const QString &text, int ms);
    void message(Platform::MessageKind kind, const QString &text);
    // The time the run still needs, as far as it can tell: the prescribed pauses and waits of
    // its path that are still ahead, the images at the rate measured so far.
    void estimateChanged(qint64 ms);
    void finished(const TRunResult &result);

private:
    struct Hooks;

    TRunResult runPhases();
    // Why an image the switch is to fetch must not go to it (its bytes in the working folder
    // are not those the packer recorded); empty when none.
    QString damagedImage() const;
    // One full run; false when a copy failed and was reported.
    bool fullRun();
    void shortPath();
    // After the reset: empty when the final run may begin or another full run is due,
    // otherwise why the run ends.
    QString afterTheReset();
    TRunResult finalRun();
    // Polls the status until the switch announces its last step; false on the time-out.
    bool PollDevice();
    // After the acknowledgement: waits for the switch to come back from its last reset, logs
    // in and reads its versions. Done when every unit runs the final version.
    TRunResult confirmFinalVersion();
    // Logs in and reads the versions into state; false when the switch does not answer.
    bool readFinalState(TSwitchState &state);
    // Where a later full run keeps its backup: beside the operator's, named for the run.
    static QString laterBackupPath(const QString &first, int run);

    void startStep(int position, const QString &text);
    void updateEstimate(qsizetype segment, double done = 0.0);
    // What the switch is left doing when the run stops at the current step, and what the
    // operator should do about it.
    QString stateWhenStopped() const;
    void addProgressLine(const QString &text);
    TRunResult failed(const QString &reason, const QString &error = {});
    void takeState(TSwitchState &state) const;
    void noteBackup();
    // A setting the run wrote that stays on the switch after it.
    enum class Written { Community, Contact, Location };
    void noteWritten(Written setting);
    // What SaveUnitCount wrote into sysContact for the intermediate image to read.
    QString writtenContact() const;
    void finishRecord(const TRunResult &result);

    TTelnetOperations &m_operations;
    ITftpHost &m_host;
    std::unique_ptr<Hooks> m_savedHooks;
    // The operator's path, which holds the configuration taken before anything changed.
    QString m_firstBackup;
    TSNMP *m_snmp = nullptr;
    std::atomic<bool> m_interrupted{false};
    TRunPlan m_plan;
    double m_bytesPerSecond = kAssumedBytesPerSecond;
    TRunPhase m_phase = TRunPhase::Intermediate;
    int m_fullRuns = 0;
    QString m_step;
    QString m_lastStatus;
    QString m_lastLine;
    // The last warning or error the procedure showed: why the run ended, when it failed.
    QString m_lastTrouble;
    QStringList m_written;
    TRunRecord m_record;
};
