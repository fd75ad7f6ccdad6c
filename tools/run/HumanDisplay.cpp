#include "HumanDisplay.h"

#include "TerminalText.h"

#include "platform/Clock.h"

#include <QRegularExpression>

namespace {

const QString kIndent = QStringLiteral("         ");
constexpr int kBarWidth = 20;
constexpr int kFileNameWidth = 24;
// The result's reason is read as a paragraph.
constexpr int kReasonWidth = 96;

// The switch's copy prints a mark per block or per second: the transfer's bar says that.
bool onlyProgressMarks(const QString &line)
{
    static const QRegularExpression marks(QStringLiteral("^[!.#]+$"));
    return marks.match(line).hasMatch();
}

QString shortFileName(const QString &name)
{
    return name.size() <= kFileNameWidth ? name.leftJustified(kFileNameWidth) : name.left(kFileNameWidth - 1) + u'~';
}

QString hexOf(const QByteArray &raw)
{
    return QString::fromLatin1(raw.toHex());
}

bool colourWanted(bool terminal)
{
    const QByteArray term = qgetenv("TERM");
    return terminal && !qEnvironmentVariableIsSet("NO_COLOR") && term != "dumb";
}

} // namespace

THumanDisplay::THumanDisplay(FILE *out, bool terminal, const QString &prefix, QObject *parent)
    : QObject(parent), m_out(out), m_prefix(prefix), m_terminal(terminal && prefix.isEmpty()),
      m_colour(colourWanted(terminal))
{
    m_clock.start();
    m_countdown.setInterval(1000);
    connect(&m_countdown, &QTimer::timeout, this, &THumanDisplay::showCountdown);
}

void THumanDisplay::heading(const QString &text)
{
    line(text);
}

void THumanDisplay::line(const QString &text)
{
    endInPlace();
    const QByteArray bytes = (m_prefix + text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
}

void THumanDisplay::indented(const QString &text)
{
    for (const QString &piece : displayLines(text))
        line(kIndent + piece);
}

void THumanDisplay::drawInPlace(const QString &text)
{
    if (!m_terminal) {
        line(text);
        return;
    }
    // Back to the line's start, the line cleared, the new state drawn; no line end yet.
    const QByteArray bytes = (QStringLiteral("\r\x1b[K") + text).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
    m_inPlace = true;
}

void THumanDisplay::endInPlace()
{
    m_countdown.stop();
    if (!m_inPlace)
        return;
    m_inPlace = false;
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void THumanDisplay::flushPendingLine()
{
    if (m_pendingLine.isEmpty())
        return;
    const QString pending = std::exchange(m_pendingLine, QString());
    indented(pending);
}

QString THumanDisplay::marked(const QString &mark, const char *colour) const
{
    if (!m_colour)
        return mark;
    return QStringLiteral("\x1b[%1m").arg(QLatin1String(colour)) + mark + QStringLiteral("\x1b[0m");
}

void THumanDisplay::beginStep(const QString &label, const QString &text)
{
    flushPendingLine();
    const qint64 now = m_clock.elapsed();
    QString heading = QStringLiteral("[%1] ").arg(clockText(now)) + label + withoutEscapes(text).simplified();
    QStringList notes;
    if (m_stepStartedMs >= 0)
        notes << QStringLiteral("previous step %1").arg(durationText(now - m_stepStartedMs));
    if (m_remainingMs >= 0)
        notes << QStringLiteral("about %1 left").arg(durationText(m_remainingMs));
    if (!notes.isEmpty())
        heading += QStringLiteral("   (") + notes.join(QStringLiteral(", ")) + u')';
    m_stepStartedMs = now;
    m_shownInStep.clear();
    m_transferFile.clear();
    line(heading);
}

void THumanDisplay::phaseStarted(TRunPhase phase)
{
    flushPendingLine();
    m_phase = phase;
    if (phase == TRunPhase::Final)
        line(QStringLiteral("== The switch upgrades itself to the final version; this PC serves the image and watches =="));
    else
        line(QStringLiteral("== This PC takes the switch to the intermediate image =="));
}

void THumanDisplay::stepCountChanged(int count)
{
    m_stepCount = count;
}

void THumanDisplay::stepStarted(int position, const QString &text)
{
    // The run's last step ("Finished") comes after the count it announced: no number then.
    QString label;
    if (position > 0 && m_stepCount > 0 && position <= m_stepCount)
        label = QStringLiteral("Step %1/%2  ").arg(position).arg(m_stepCount);
    else if (position > 0 && m_stepCount == 0)
        label = QStringLiteral("Step %1  ").arg(position);
    beginStep(label, text);
}

void THumanDisplay::progressLine(const QString &text)
{
    flushPendingLine();
    if (m_phase == TRunPhase::Final) {
        m_pendingLine = text;
        return;
    }
    for (const QString &piece : displayLines(text)) {
        if (onlyProgressMarks(piece) || m_shownInStep.contains(piece))
            continue;
        m_shownInStep.insert(piece);
        line(kIndent + piece);
    }
}

void THumanDisplay::transferProgress(const TTransferProgress &progress)
{
    flushPendingLine();
    const QString name = shortFileName(withoutEscapes(progress.File));
    if (progress.File != m_transferFile) {
        endInPlace();
        m_transferFile = progress.File;
        m_transferTenth = -1;
    }
    QString text;
    int tenth = -1;
    if (progress.Size > 0) {
        const double done = std::clamp(double(progress.Bytes) / double(progress.Size), 0.0, 1.0);
        tenth = int(done * 10.0);
        const int filled = int(done * kBarWidth);
        text = kIndent + name + QStringLiteral(" [") + QString(filled, u'#') + QString(kBarWidth - filled, u'.')
            + QStringLiteral("] %1%  %2 / %3").arg(int(done * 100.0), 3).arg(byteText(progress.Bytes), byteText(progress.Size));
    } else {
        text = kIndent + name + (progress.Writing ? QStringLiteral(" received ") : QStringLiteral(" sent "))
            + byteText(progress.Bytes);
    }
    if (progress.Rate > 0)
        text += QStringLiteral("  ") + rateText(progress.Rate);
    if (progress.Ended) {
        text += QStringLiteral("  done");
    } else if (progress.Size > 0 && progress.Rate > 0) {
        const double leftMs = double(progress.Size - progress.Bytes) * 1000.0 / progress.Rate;
        text += QStringLiteral("  %1 left").arg(durationText(qint64(leftMs)));
    }

    if (m_terminal) {
        drawInPlace(text);
        if (progress.Ended)
            endInPlace();
        return;
    }
    // A file or a pipe: a line at every tenth, and the end.
    if (progress.Ended || (tenth >= 0 && tenth > m_transferTenth)) {
        m_transferTenth = progress.Ended ? 10 : tenth;
        line(text);
    }
}

void THumanDisplay::statusRead(const QString &status, int step)
{
    if (m_pendingLine == status)
        m_pendingLine.clear();
    const QString label = step > 0 && m_stepCount > 0 ? QStringLiteral("Switch %1/%2  ").arg(step).arg(m_stepCount)
                                                       : QStringLiteral("Switch reports  ");
    beginStep(label, status);
}

void THumanDisplay::waitStarted(const QString &text, int ms)
{
    flushPendingLine();
    m_waitText = withoutEscapes(text).simplified();
    m_waitMs = ms;
    m_waitStartTick = Platform::tickCount();
    if (!m_terminal) {
        line(kIndent + QStringLiteral("waiting %1").arg(durationText(ms)));
        return;
    }
    showCountdown();
    m_countdown.start();
}

void THumanDisplay::showCountdown()
{
    const qint64 passed = qint64(quint32(Platform::tickCount() - m_waitStartTick));
    const qint64 left = std::max<qint64>(m_waitMs - passed, 0);
    drawInPlace(kIndent + QStringLiteral("waiting %1: %2 left").arg(durationText(m_waitMs), durationText(left)));
    if (left == 0)
        endInPlace();
}

void THumanDisplay::message(Platform::MessageKind kind, const QString &text)
{
    flushPendingLine();
    QString mark;
    switch (kind) {
    case Platform::MessageKind::Error:
        mark = marked(QStringLiteral("ERROR:"), "1;31");
        break;
    case Platform::MessageKind::Warning:
        mark = marked(QStringLiteral("WARNING:"), "1;33");
        break;
    case Platform::MessageKind::Information:
    case Platform::MessageKind::Question:
        mark = marked(QStringLiteral("NOTE:"), "1;36");
        break;
    case Platform::MessageKind::Plain:
        break;
    }
    const QStringList lines = displayLines(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (mark.isEmpty())
            line(lines[i]);
        else
            line((i == 0 ? mark + u' ' : QString(kIndent.size(), u' ')) + lines[i]);
    }
}

void THumanDisplay::estimateChanged(qint64 ms)
{
    m_remainingMs = ms;
}

void THumanDisplay::inventoryTaken(const TInventorySummary &inventory)
{
    flushPendingLine();
    const QString kind = inventory.IsStack ? QStringLiteral("a stack of %1 units").arg(inventory.Units)
                                           : QStringLiteral("standalone");
    line(QStringLiteral("Switch %1: %2, %3, %4, %5")
             .arg(inventory.SwitchAddress, withoutEscapes(inventory.Type), withoutEscapes(inventory.SystemName),
                  withoutEscapes(inventory.MacAddress), kind));
    line(QStringLiteral("  runs %1 (image %2, next boot image %3); final version %4")
             .arg(withoutEscapes(inventory.Version))
             .arg(inventory.ActiveImage)
             .arg(inventory.NextImage)
             .arg(inventory.FinalVersion.isEmpty() ? QStringLiteral("not known for this model") : inventory.FinalVersion));
    line(QStringLiteral("  TFTP server address told to the switch: ") + inventory.TftpAddress);
}

void THumanDisplay::showPlan(const TRunPlan &plan)
{
    line(QStringLiteral("Plan (nothing was changed on the switch):"));
    switch (plan.Route) {
    case TRunPlan::Path::Full:
        line(QStringLiteral("  path: full - configuration backup, intermediate image, reset, the switch's own upgrade"));
        break;
    case TRunPlan::Path::Short:
        line(QStringLiteral("  path: short - the switch runs the intermediate image: its settings are made again and "
                            "its own upgrade watched"));
        break;
    case TRunPlan::Path::None:
        line(QStringLiteral("  path: none - the switch runs the final version already; a run changes nothing"));
        return;
    }
    line(QStringLiteral("  images:"));
    for (const TRunPlan::Image &image : plan.Images) {
        line(QStringLiteral("    %1  %2 bytes  sha256 %3  (%4)")
                 .arg(image.Name)
                 .arg(image.Size)
                 .arg(image.Sha256.isEmpty() ? QStringLiteral("not known") : image.Sha256,
                      image.FetchedBySwitch ? QStringLiteral("fetched by the intermediate image itself")
                                            : QStringLiteral("sent by the run's copy command")));
    }
    line(QStringLiteral("  resets: %1").arg(plan.Resets));
    if (!plan.Waits.isEmpty()) {
        line(QStringLiteral("  prescribed waits:"));
        for (const TRunPlan::Wait &wait : plan.Waits)
            line(QStringLiteral("    %1  %2").arg(durationText(wait.Ms), wait.Text));
    }
    line(QStringLiteral("  steps (estimated):"));
    for (const TRunPlan::Segment &segment : plan.Segments) {
        const qint64 ms = segment.FixedMs + qint64(double(segment.Bytes) * 1000.0 / kAssumedBytesPerSecond);
        line(QStringLiteral("    %1  %2").arg(durationText(ms), segment.Step));
    }
    line(QStringLiteral("  estimate of the whole run: %1 (images moving at %2)")
             .arg(durationText(plan.estimatedMs()), rateText(kAssumedBytesPerSecond)));
}

void THumanDisplay::showResult(const TSwitchRunEnd &end)
{
    const TRunResult &result = end.Result;
    QString headline;
    if (end.Plan) {
        headline = marked(QStringLiteral("PLANNED:"), "1;32");
    } else {
        switch (result.Outcome) {
        case TRunOutcome::Done:
            headline = marked(QStringLiteral("DONE:"), "1;32");
            break;
        case TRunOutcome::AlreadyFinal:
            headline = marked(QStringLiteral("ALREADY FINAL:"), "1;32");
            break;
        case TRunOutcome::Unconfirmed:
            headline = marked(QStringLiteral("UNCONFIRMED:"), "1;33");
            break;
        case TRunOutcome::Failed:
            headline = marked(QStringLiteral("FAILED"), "1;31");
            break;
        case TRunOutcome::Interrupted:
            headline = marked(QStringLiteral("INTERRUPTED"), "1;33");
            break;
        }
        if (result.Outcome == TRunOutcome::Failed || result.Outcome == TRunOutcome::Interrupted)
            headline += result.Step.isEmpty() ? QStringLiteral(":") : QStringLiteral(" at the step \"%1\":").arg(result.Step);
    }
    line(QStringLiteral("[%1] ").arg(clockText(m_clock.elapsed())) + headline);
    for (const QString &reason : wrappedLines(result.Reason, kReasonWidth))
        line(QStringLiteral("  ") + reason);

    if (end.Record) {
        const TRunRecord &record = *end.Record;
        const QString after = versionAfter(record);
        line(QStringLiteral("  version: %1 -> %2")
                 .arg(record.Before.Version, after.isEmpty() ? QStringLiteral("not seen after its last reset") : after));
        for (const TBackupFile &backup : record.Backups) {
            line(QStringLiteral("  backup: %1 (%2 bytes, sha256 %3)")
                     .arg(backup.Path)
                     .arg(backup.Size)
                     .arg(hexOf(backup.Sha256)));
        }
        for (const TServedImage &image : record.Images) {
            line(QStringLiteral("  served: %1 (%2 bytes, sha256 %3)%4")
                     .arg(image.Name)
                     .arg(image.Size)
                     .arg(hexOf(image.Sha256), image.Completed ? QString() : QStringLiteral(", not completed")));
        }
        if (!record.RecordPath.isEmpty())
            line(QStringLiteral("  record: ") + record.RecordPath);
        if (!record.ReportPath.isEmpty())
            line(QStringLiteral("  report: ") + record.ReportPath);
    } else if (!end.Plan && result.Outcome != TRunOutcome::Interrupted) {
        line(QStringLiteral("  No backup was taken; nothing was changed on the switch."));
    }
    if (!end.LogPath.isEmpty())
        line(QStringLiteral("  log: ") + end.LogPath);
    line(QStringLiteral("exit status %1").arg(end.ExitStatus));
}

void THumanDisplay::finished(const TSwitchRunEnd &end)
{
    flushPendingLine();
    endInPlace();
    if (end.Plan)
        showPlan(*end.Plan);
    showResult(end);
}
