#pragma once

#include <QList>
#include <QString>

class ITftpHost;
class TTelnetOperations;

// What a run would do to the switch the inventory describes, and how long it would take:
// shown before anything changes (tessaro-run --plan), and the ground of the run's estimate of
// the time left.
struct TRunPlan
{
    // Full: the configuration backup, the intermediate image, the reset, the switch's own
    // upgrade. Short: the switch runs the intermediate image already; its settings are made
    // again and its own upgrade watched. None: it runs the final version already.
    enum class Path { Full, Short, None };

    struct Image
    {
        QString Name;
        qint64 Size = 0;
        // Lower-case hex as the payload recorded it; empty when the payload recorded none.
        QString Sha256;
        // Who asks for it: the PC's copy command, or the intermediate image by itself.
        bool FetchedBySwitch = false;
    };

    // A fixed wait the procedure prescribes.
    struct Wait
    {
        QString Text;
        int Ms = 0;
    };

    // A step of the run as it announces them, with its fixed part (pauses, commands, the
    // switch's own work as assumed) and the image bytes that move in it.
    struct Segment
    {
        QString Step;
        qint64 FixedMs = 0;
        qint64 Bytes = 0;
    };

    Path Route = Path::Full;
    QList<Image> Images;
    // Resets of the switch: the run's own, and the one that ends the switch's own upgrade.
    int Resets = 0;
    QList<Wait> Waits;
    QList<Segment> Segments;

    // The time left from the start of segment `from`, with images moving at bytesPerSecond;
    // the segment's own fixed part counts only its share not yet done.
    qint64 remainingMs(qsizetype from, double bytesPerSecond, double segmentDone = 0.0) const;
    // The whole run: remainingMs from the first segment at the assumed rate.
    qint64 estimatedMs() const;
    // The switch's own upgrade, the segment before the confirmation.
    qsizetype ownUpgradeSegment() const { return Segments.size() - 2; }
};

// The TFTP rate assumed until a transfer has been measured: lock-step 512-byte blocks over a
// management network with a round trip of about a millisecond.
inline constexpr double kAssumedBytesPerSecond = 500.0 * 1024.0;

// The last step of a run that changes the switch: waiting for it to come back from its last
// reset and reading the version it runs.
inline const QString kConfirmStep = QStringLiteral("Confirming the final version");

QString pathName(TRunPlan::Path path);
// A duration for the operator: "45 s", "3 min 05 s", "1 h 02 min".
QString durationText(qint64 ms);

// The plan for the switch the inventory described. Reads the images' sizes and digests from
// the payload through the host.
TRunPlan planRun(const TTelnetOperations &operations, ITftpHost &host);
