#include "run/RunEvents.h"

#include "tftp/TransferRecord.h"

#include <QFileInfo>

TTransferProgress transferProgressOf(const TTransferRecord &transfer)
{
    TTransferProgress progress;
    progress.File = QFileInfo(transfer.FileName).fileName();
    progress.Writing = transfer.Writing;
    progress.Bytes = transfer.Bytes;
    progress.Size = transfer.Size;
    progress.Ended = transfer.ended();
    const QDateTime until = transfer.ended() ? transfer.Ended : QDateTime::currentDateTimeUtc();
    const qint64 ms = transfer.Started.msecsTo(until);
    progress.Rate = ms > 0 ? double(transfer.Bytes) * 1000.0 / double(ms) : 0.0;
    return progress;
}

QString outcomeName(TRunOutcome outcome)
{
    switch (outcome) {
    case TRunOutcome::Done:
        return QStringLiteral("done");
    case TRunOutcome::AlreadyFinal:
        return QStringLiteral("already-final");
    case TRunOutcome::Unconfirmed:
        return QStringLiteral("unconfirmed");
    case TRunOutcome::Failed:
        return QStringLiteral("failed");
    case TRunOutcome::Interrupted:
        return QStringLiteral("interrupted");
    }
    return {};
}
