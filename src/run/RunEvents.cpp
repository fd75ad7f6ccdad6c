#include "run/RunEvents.h"

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
