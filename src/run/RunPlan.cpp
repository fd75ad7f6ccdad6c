#include "run/RunPlan.h"

#include "payload/PayloadDigests.h"
#include "run/UpgradeRun.h"
#include "tftp/ITftpHost.h"
#include "upgrade/upgrade_device.h"

namespace {

// What the switch does in its own time, as assumed for the estimate: writing an image to its
// flash before it reports the copy done, and each step of its own upgrade that it reports.
constexpr qint64 kFlashWriteMs = 30'000;
constexpr qint64 kReportedStepMs = 20'000;

// The procedure's own share of each step: its prescribed pauses, and each text sent to the
// switch (200 ms for the send, 500 ms after it) or sent and answered (about 900 ms).
constexpr qint64 kSendMs = 700;
constexpr qint64 kCommandMs = 900;
// A log-in: its pauses, ten texts and "show stack".
constexpr qint64 kLoginMs = 2000 + 500 + 500 + 300 + 2000 + 100 + 300 + 10 * kSendMs + kCommandMs;
constexpr qint64 kInventoryMs = kLoginMs + 3 * kCommandMs;

constexpr qint64 kBackupMs = kSendMs + 3000 + 1000 + 2000 + 1000;
constexpr qint64 kSnmpAndContactMs = 7 * kSendMs;
constexpr qint64 kStackCountMs = kCommandMs;
constexpr qint64 kDownloadMs = kSendMs + 3000 + 1000 + kFlashWriteMs;
constexpr qint64 kLocationMs = 4 * kSendMs + kCommandMs + 6 * kSendMs + kSendMs + 4000;
constexpr qint64 kSwitchImageMs = 1000 + kCommandMs + 1000 + kCommandMs + 1000 + 2500;
constexpr int kFirstResetWaitMs = 25'000;
constexpr int kSecondResetWaitMs = 45'000;
constexpr int kStackResetWaitMs = 120'000;
constexpr qint64 kReloadMs = 3 * kSendMs + 2000 + 1000;
constexpr int kStandaloneSteps = 7;
constexpr int kStackSteps = 15;

// The wait for the switch's last reset and the log-in that reads its final version.
void addConfirmation(TRunPlan &plan, bool stack)
{
    const int resetMs = stack ? TUpgradeRun::kFinalStackResetMs : TUpgradeRun::kFinalResetMs;
    plan.Waits.append({QStringLiteral("Waiting for the switch to come back with the final version...."), resetMs});
    plan.Segments.append({kConfirmStep, resetMs + kInventoryMs, 0});
}

TRunPlan::Image imageOf(ITftpHost &host, const PayloadDigests &digests, const QString &name, bool fetchedBySwitch)
{
    TRunPlan::Image image{name, 0, digests.hexDigest(name), fetchedBySwitch};
    if (const std::unique_ptr<QIODevice> payload = host.OpenAppendixFile(name))
        image.Size = payload->size();
    return image;
}

PayloadDigests payloadDigests(ITftpHost &host)
{
    const std::unique_ptr<QIODevice> list = host.OpenAppendixFile(kDigestListName);
    return PayloadDigests::parse(list ? list->readAll() : QByteArray());
}

} // namespace

QString pathName(TRunPlan::Path path)
{
    switch (path) {
    case TRunPlan::Path::Full:
        return QStringLiteral("full");
    case TRunPlan::Path::Short:
        return QStringLiteral("short");
    case TRunPlan::Path::None:
        return QStringLiteral("none");
    }
    return {};
}

QString durationText(qint64 ms)
{
    const qint64 seconds = (std::max<qint64>(ms, 0) + 500) / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
}

qint64 TRunPlan::remainingMs(qsizetype from, double bytesPerSecond, double segmentDone) const
{
    double ms = 0;
    for (qsizetype i = std::max<qsizetype>(from, 0); i < Segments.size(); ++i) {
        const Segment &segment = Segments[i];
        const double share = i == from ? 1.0 - std::clamp(segmentDone, 0.0, 1.0) : 1.0;
        ms += share * (double(segment.FixedMs) + double(segment.Bytes) * 1000.0 / bytesPerSecond);
    }
    return qint64(ms);
}

qint64 TRunPlan::estimatedMs() const
{
    return remainingMs(0, kAssumedBytesPerSecond);
}

TRunPlan planRun(const TTelnetOperations &operations, ITftpHost &host)
{
    TRunPlan plan;
    if (operations.FinalVersion == operations.CurrentVersion) {
        plan.Route = TRunPlan::Path::None;
        return plan;
    }
    const bool stack = operations.IsStack;
    const PayloadDigests digests = payloadDigests(host);
    const TRunPlan::Image final = imageOf(host, digests, operations.FinalImage, true);
    const qint64 ownUpgradeMs = kReportedStepMs * (stack ? kStackSteps : kStandaloneSteps);
    const QString ownUpgrade = QStringLiteral("The switch's own upgrade");
    if (operations.CurrentVersion.toLower().contains(QStringLiteral("interim"))) {
        plan.Route = TRunPlan::Path::Short;
        plan.Images = {final};
        plan.Resets = 1;
        plan.Segments = {{QStringLiteral("Saving IP address and location"),
                          kLocationMs + kSnmpAndContactMs + (stack ? kStackCountMs : 0), 0},
                         {ownUpgrade, ownUpgradeMs, final.Size}};
        addConfirmation(plan, stack);
        return plan;
    }
    const TRunPlan::Image interim = imageOf(host, digests, operations.InterimImage, false);
    plan.Route = TRunPlan::Path::Full;
    plan.Images = {interim, final};
    plan.Resets = 2;
    plan.Waits = {{QStringLiteral("Waiting for a minute before polling...."), kFirstResetWaitMs + kSecondResetWaitMs}};
    qint64 resetMs = kReloadMs + kFirstResetWaitMs + kSecondResetWaitMs + 2 * kLoginMs + kInventoryMs;
    if (stack) {
        plan.Waits.append({QStringLiteral("Waiting for another 2 minutes for stack device before polling...."),
                           kStackResetWaitMs});
        resetMs += kStackResetWaitMs;
    }
    plan.Segments = {{QStringLiteral("Saving configuration file from device"),
                      kBackupMs + kSnmpAndContactMs + (stack ? kStackCountMs : 0), 0},
                     {QStringLiteral("Updating Image to device"), kDownloadMs, interim.Size},
                     {QStringLiteral("Saving IP address and location"), kLocationMs, 0},
                     {QStringLiteral("switching to other image"), kSwitchImageMs, 0},
                     {QStringLiteral("Resetting device"), resetMs, 0},
                     {ownUpgrade, ownUpgradeMs, final.Size}};
    addConfirmation(plan, stack);
    return plan;
}
