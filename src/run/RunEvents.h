#pragma once

#include <QMetaType>
#include <QString>

// How a run ended: the one answer every face of the run shows in its own way.
enum class TRunOutcome {
    Done,         // the switch was seen running the final version
    AlreadyFinal, // it did before the run: nothing was changed
    Unconfirmed,  // it reported its last step, but was not seen running the final version after
    Failed,       // stopped at a step, with the reason
    Interrupted,  // stopped by the operator
};

// The two halves of an upgrade: the PC takes the switch to the intermediate image, then the
// switch upgrades itself while the PC watches.
enum class TRunPhase { Intermediate, Final };

struct TRunResult
{
    TRunOutcome Outcome = TRunOutcome::Failed;
    // The step the run stopped at; empty when it ended well.
    QString Step;
    // Why it ended so, for the operator.
    QString Reason;
    // The message of the error that ended the run, where one did; empty when the run ended
    // after a failure it had reported itself. The wizard shows it as its error display does.
    QString Error;

    bool succeeded() const { return Outcome == TRunOutcome::Done || Outcome == TRunOutcome::AlreadyFinal; }
};

// "done", "already-final", "unconfirmed", "failed", "interrupted": the outcome as the result
// record and the command line name it.
QString outcomeName(TRunOutcome outcome);

// A transfer of the switch's own, while it runs and once it has ended.
struct TTransferProgress
{
    QString File;
    bool Writing = false;
    qint64 Bytes = 0;
    // 0 when not known (a file the switch writes).
    qint64 Size = 0;
    // Bytes per second so far.
    double Rate = 0;
    bool Ended = false;
};

struct TTransferRecord;
// Where a transfer stands, named by its file's name without folders.
TTransferProgress transferProgressOf(const TTransferRecord &transfer);

Q_DECLARE_METATYPE(TRunResult)
Q_DECLARE_METATYPE(TTransferProgress)
