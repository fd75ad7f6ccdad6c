#include "RunDisplay.h"

QString versionAfter(const TRunRecord &record)
{
    if (record.After && !record.After->Version.isEmpty())
        return record.After->Version;
    // A run that ended Done without reading the switch again went by its report of the last step.
    if (record.Result.Outcome == TRunOutcome::Done)
        return record.FinalVersion;
    if (record.Result.Outcome == TRunOutcome::Unconfirmed)
        return {};
    if (record.AfterReset && !record.AfterReset->Version.isEmpty())
        return record.AfterReset->Version;
    return record.Before.Version;
}
