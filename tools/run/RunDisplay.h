#pragma once

#include "platform/Dialogs.h"
#include "run/RunEvents.h"
#include "run/RunPlan.h"
#include "run/RunRecord.h"

#include <QString>

#include <optional>

// What the inventory found, as the displays show it.
struct TInventorySummary
{
    QString SwitchAddress;
    QString Type;
    QString ObjectId;
    QString SystemName;
    QString MacAddress;
    QString Version;
    int ActiveImage = 0;
    int NextImage = 0;
    bool IsStack = false;
    int Units = 1;
    QString FinalVersion;
    QString InterimImage;
    QString FinalImage;
    // The address the switch is told to reach this PC's TFTP server at.
    QString TftpAddress;
};

// How one switch's run ended, with what the displays report of it.
struct TSwitchRunEnd
{
    QString SwitchAddress;
    int ExitStatus = 0;
    TRunResult Result;
    // The inventory, when it was taken.
    std::optional<TInventorySummary> Inventory;
    // With --plan, once the inventory was taken.
    std::optional<TRunPlan> Plan;
    // Once the run itself ran: the evidence it wrote beside the backup.
    std::optional<TRunRecord> Record;
    QString BackupPath;
    // Empty when no log was written (the program could not start).
    QString LogPath;
};

// The version the switch runs after the run: read after its own upgrade where the run came
// that far (else, for a run that ended Done, the final version it reported upgrading to), else
// read after the run's reset, else before the run; empty for a switch that reported its last
// step and was not seen after its reset.
QString versionAfter(const TRunRecord &record);

// A face of the run on the console: the one for people and the JSON lines. Every call comes on
// the main thread, in the order the run made them.
class IRunDisplay
{
public:
    virtual ~IRunDisplay() = default;

    virtual void phaseStarted(TRunPhase phase) = 0;
    // The number of steps of the part that begins; 0 when the part does not say.
    virtual void stepCountChanged(int count) = 0;
    virtual void stepStarted(int position, const QString &text) = 0;
    virtual void progressLine(const QString &text) = 0;
    virtual void transferProgress(const TTransferProgress &progress) = 0;
    // A status the switch reported during its own upgrade.
    virtual void statusRead(const QString &status, int step) = 0;
    virtual void waitStarted(const QString &text, int ms) = 0;
    // For the operator: the run's messages and the program's own.
    virtual void message(Platform::MessageKind kind, const QString &text) = 0;
    // The time the run still needs, as far as it can tell.
    virtual void estimateChanged(qint64 ms) = 0;
    virtual void inventoryTaken(const TInventorySummary &inventory) = 0;
    virtual void finished(const TSwitchRunEnd &end) = 0;
};
