#include "run/RunRecord.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>

double TServedImage::rate() const
{
    if (!Started.isValid() || !Ended.isValid())
        return 0;
    const qint64 ms = Started.msecsTo(Ended);
    return ms > 0 ? double(Bytes) * 1000.0 / double(ms) : 0;
}

namespace {

// Raised only when a key changes its meaning or goes away; a key added leaves it as it is, so
// that a reader can refuse a record it would misread.
constexpr int kRecordFormat = 1;

// ---- The record as JSON

QJsonValue timeJson(const QDateTime &time)
{
    if (!time.isValid())
        return QJsonValue::Null;
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QJsonValue digestJson(const QByteArray &digest)
{
    if (digest.isEmpty())
        return QJsonValue::Null;
    return QString::fromLatin1(digest.toHex());
}

QJsonValue slotJson(int slot)
{
    return slot < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(slot);
}

QString kindName(TTimelineSpan::Kind kind)
{
    switch (kind) {
    case TTimelineSpan::Kind::Step:
        return QStringLiteral("step");
    case TTimelineSpan::Kind::Wait:
        return QStringLiteral("wait");
    case TTimelineSpan::Kind::Transfer:
        return QStringLiteral("transfer");
    }
    return {};
}

QJsonObject stateJson(const TSwitchState &state)
{
    QJsonArray units;
    for (const TUnitState &unit : state.Units)
        units.append(QJsonObject{{QStringLiteral("unit"), unit.Unit}, {QStringLiteral("version"), unit.Version}});
    return {{QStringLiteral("readAt"), timeJson(state.ReadAt)},
            {QStringLiteral("version"), state.Version},
            {QStringLiteral("activeImage"), slotJson(state.ActiveImage)},
            {QStringLiteral("nextImage"), slotJson(state.NextImage)},
            {QStringLiteral("units"), units}};
}

QJsonValue optionalStateJson(const std::optional<TSwitchState> &state)
{
    return state ? QJsonValue(stateJson(*state)) : QJsonValue(QJsonValue::Null);
}

QJsonArray backupsJson(const QList<TBackupFile> &backups)
{
    QJsonArray array;
    for (const TBackupFile &backup : backups)
        array.append(QJsonObject{{QStringLiteral("path"), backup.Path},
                                 {QStringLiteral("size"), backup.Size},
                                 {QStringLiteral("sha256"), digestJson(backup.Sha256)},
                                 {QStringLiteral("run"), backup.Run}});
    return array;
}

QJsonArray imagesJson(const QList<TServedImage> &images)
{
    QJsonArray array;
    for (const TServedImage &image : images)
        array.append(QJsonObject{{QStringLiteral("name"), image.Name},
                                 {QStringLiteral("size"), image.Size},
                                 {QStringLiteral("sha256"), digestJson(image.Sha256)},
                                 {QStringLiteral("started"), timeJson(image.Started)},
                                 {QStringLiteral("ended"), timeJson(image.Ended)},
                                 {QStringLiteral("bytes"), image.Bytes},
                                 {QStringLiteral("retransmissions"), image.Retransmissions},
                                 {QStringLiteral("completed"), image.Completed},
                                 {QStringLiteral("rate"), image.rate()}});
    return array;
}

QJsonArray timelineJson(const QList<TTimelineSpan> &timeline)
{
    QJsonArray array;
    for (const TTimelineSpan &span : timeline)
        array.append(QJsonObject{{QStringLiteral("kind"), kindName(span.Type)},
                                 {QStringLiteral("text"), span.Text},
                                 {QStringLiteral("started"), timeJson(span.Started)},
                                 {QStringLiteral("durationMs"), span.DurationMs}});
    return array;
}

QJsonObject resultJson(const TRunResult &result)
{
    return {{QStringLiteral("outcome"), outcomeName(result.Outcome)},
            {QStringLiteral("succeeded"), result.succeeded()},
            {QStringLiteral("step"), result.Step},
            {QStringLiteral("reason"), result.Reason},
            {QStringLiteral("error"), result.Error}};
}

// ---- Texts of the report

// Text from the switch or the operator, made safe for the page. Each line end becomes one line
// break (the program's own messages end lines with "\n\r"). Control characters (a telnet answer
// keeps its escape sequences) cannot stand in an XML-readable page: each becomes U+FFFD.
QString esc(const QString &text)
{
    QString clean = text;
    clean.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QStringLiteral("\n\r"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (QChar &c : clean) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n') || u == 0xFFFE || u == 0xFFFF)
            c = QChar(QChar::ReplacementCharacter);
    }
    return clean.toHtmlEscaped();
}

QString notRead()
{
    return QStringLiteral("<span class=\"missing\">not read</span>");
}

QString orNotRead(const QString &text)
{
    return text.isEmpty() ? notRead() : esc(text);
}

QString fullTime(const QDateTime &time)
{
    if (!time.isValid())
        return QStringLiteral("<span class=\"missing\">not known</span>");
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" UTC");
}

QString clockTime(const QDateTime &time)
{
    if (!time.isValid())
        return QStringLiteral("<span class=\"missing\">not known</span>");
    return time.toUTC().toString(QStringLiteral("HH:mm:ss"));
}

QString twoDigits(qint64 n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

// "0.4 s", "12.5 s", "3 min 05 s", "1 h 02 min 05 s".
QString durationText(qint64 ms)
{
    if (ms < 60'000)
        return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
    const qint64 seconds = ms / 1000;
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(QString::number(seconds / 60), twoDigits(seconds % 60));
    return QStringLiteral("%1 h %2 min %3 s")
        .arg(QString::number(seconds / 3600), twoDigits(seconds / 60 % 60), twoDigits(seconds % 60));
}

// Time from the start of the run: "2:13", "1:02:13".
QString offsetText(qint64 ms)
{
    const QString sign = ms < 0 ? QStringLiteral("-") : QString();
    const qint64 seconds = qAbs(ms) / 1000;
    if (seconds < 3600)
        return sign + QString::number(seconds / 60) + QLatin1Char(':') + twoDigits(seconds % 60);
    return sign + QString::number(seconds / 3600) + QLatin1Char(':') + twoDigits(seconds / 60 % 60) + QLatin1Char(':')
        + twoDigits(seconds % 60);
}

const QLocale &reportLocale()
{
    static const QLocale locale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

// "3,500,373 bytes (3.34 MiB)", the rounded size on a line of its own where there is room.
QString sizeText(qint64 bytes)
{
    const QString exact = reportLocale().toString(bytes) + QStringLiteral(" bytes");
    if (bytes < 1024)
        return exact;
    return exact + QStringLiteral(" <span class=\"approx\">(") + reportLocale().formattedDataSize(bytes)
        + QStringLiteral(")</span>");
}

QString rateText(double rate)
{
    if (rate <= 0)
        return QStringLiteral("<span class=\"missing\">not measured</span>");
    return reportLocale().formattedDataSize(qRound64(rate), 1) + QStringLiteral("/s");
}

QString digestText(const QByteArray &digest)
{
    if (digest.isEmpty())
        return QStringLiteral("<span class=\"missing\">not computed</span>");
    return QStringLiteral("<code class=\"digest\">") + QString::fromLatin1(digest.toHex()) + QStringLiteral("</code>");
}

QString outcomeWord(TRunOutcome outcome)
{
    switch (outcome) {
    case TRunOutcome::Done:
        return QStringLiteral("Done");
    case TRunOutcome::AlreadyFinal:
        return QStringLiteral("Already final");
    case TRunOutcome::Unconfirmed:
        return QStringLiteral("Not confirmed");
    case TRunOutcome::Failed:
        return QStringLiteral("Failed");
    case TRunOutcome::Interrupted:
        return QStringLiteral("Interrupted");
    }
    return {};
}

// The class that colours the outcome: green, red or amber.
QString outcomeClass(TRunOutcome outcome)
{
    switch (outcome) {
    case TRunOutcome::Done:
    case TRunOutcome::AlreadyFinal:
        return QStringLiteral("success");
    case TRunOutcome::Failed:
        return QStringLiteral("failure");
    case TRunOutcome::Unconfirmed:
    case TRunOutcome::Interrupted:
        return QStringLiteral("caution");
    }
    return {};
}

QString outcomeSentence(const TRunRecord &record)
{
    const QString step = record.Result.Step.isEmpty()
        ? QStringLiteral("a step it did not name")
        : QStringLiteral("the step \u201c") + esc(record.Result.Step) + QStringLiteral("\u201d");
    switch (record.Result.Outcome) {
    case TRunOutcome::Done:
        return QStringLiteral("The switch runs the final version ") + orNotRead(record.FinalVersion) + QLatin1Char('.');
    case TRunOutcome::AlreadyFinal:
        return QStringLiteral("The switch ran the final version ") + orNotRead(record.FinalVersion)
            + QStringLiteral(" before the run; nothing was changed.");
    case TRunOutcome::Unconfirmed:
        return QStringLiteral("The switch reported the last step of its upgrade, but was not seen running the final version ")
            + orNotRead(record.FinalVersion) + QStringLiteral(" afterwards.");
    case TRunOutcome::Failed:
        return QStringLiteral("The run failed at ") + step + QLatin1Char('.');
    case TRunOutcome::Interrupted:
        return QStringLiteral("The operator stopped the run at ") + step + QLatin1Char('.');
    }
    return {};
}

// ---- Pieces of the page

using Rows = QList<QPair<QString, QString>>;

// Term and already-escaped value.
QString definitions(const Rows &rows)
{
    QString html = QStringLiteral("<dl>");
    for (const auto &[term, value] : rows)
        html += QStringLiteral("<dt>") + term + QStringLiteral("</dt><dd>") + value + QStringLiteral("</dd>");
    return html + QStringLiteral("</dl>");
}

QString section(const QString &id, const QString &title, const QString &body)
{
    return QStringLiteral("<section id=\"") + id + QStringLiteral("\"><h2>") + title + QStringLiteral("</h2>") + body
        + QStringLiteral("</section>\n");
}

QString headerCells(const QStringList &titles)
{
    QString html = QStringLiteral("<thead><tr>");
    for (const QString &title : titles)
        html += QStringLiteral("<th scope=\"col\">") + title + QStringLiteral("</th>");
    return html + QStringLiteral("</tr></thead>");
}

QString rowOf(const QStringList &cells, const QString &classes = {})
{
    QString html = classes.isEmpty() ? QStringLiteral("<tr>")
                                     : QStringLiteral("<tr class=\"") + classes + QStringLiteral("\">");
    for (const QString &cell : cells)
        html += QStringLiteral("<td>") + cell + QStringLiteral("</td>");
    return html + QStringLiteral("</tr>");
}

// A file's row and its digest's, kept together on one printed page.
QString itemWithDigest(const QStringList &cells, const QByteArray &digest)
{
    return QStringLiteral("<tbody class=\"item\">") + rowOf(cells, QStringLiteral("has-digest"))
        + QStringLiteral("<tr class=\"digest-row\"><td colspan=\"%1\">SHA-256 ").arg(cells.size()) + digestText(digest)
        + QStringLiteral("</td></tr></tbody>");
}

QString headerSection(const TRunRecord &record)
{
    const qint64 ms = record.Started.isValid() && record.Ended.isValid() ? record.Started.msecsTo(record.Ended) : -1;
    return QStringLiteral("<header class=\"outcome ") + outcomeClass(record.Result.Outcome)
        + QStringLiteral("\"><h1>Upgrade of <span class=\"address\">") + esc(record.SwitchAddress)
        + QStringLiteral("</span> <span class=\"badge\">") + outcomeWord(record.Result.Outcome)
        + QStringLiteral("</span></h1><p class=\"summary\">") + outcomeSentence(record) + QStringLiteral("</p>")
        + definitions({{QStringLiteral("Program"), esc(record.Program)},
                       {QStringLiteral("Started"), fullTime(record.Started)},
                       {QStringLiteral("Ended"), fullTime(record.Ended)},
                       {QStringLiteral("Duration"),
                        ms < 0 ? QStringLiteral("<span class=\"missing\">not known</span>") : durationText(ms)}})
        + QStringLiteral("</header>\n");
}

QString stopSection(const TRunResult &result)
{
    Rows rows{{QStringLiteral("Step"), orNotRead(result.Step)}, {QStringLiteral("Reason"), orNotRead(result.Reason)}};
    if (!result.Error.isEmpty())
        rows.append({QStringLiteral("Error message"), QStringLiteral("<span class=\"message\">") + esc(result.Error)
                                                          + QStringLiteral("</span>")});
    return section(QStringLiteral("stop"), QStringLiteral("Why the run stopped"), definitions(rows));
}

QString switchSection(const TRunRecord &record)
{
    const QString units = QString::number(record.Units)
        + (record.IsStack ? QStringLiteral(" (a stack)") : QStringLiteral(" (standalone)"));
    const QString identity = definitions({{QStringLiteral("Address"), esc(record.SwitchAddress)},
                                          {QStringLiteral("Type"), orNotRead(record.Type)},
                                          {QStringLiteral("Object ID"), orNotRead(record.ObjectId)},
                                          {QStringLiteral("System name"), orNotRead(record.SystemName)},
                                          {QStringLiteral("MAC address"), orNotRead(record.MacAddress)},
                                          {QStringLiteral("Units"), units}});
    const QString plan = definitions(
        {{QStringLiteral("TFTP server (this PC)"), esc(record.TftpServerAddress)},
         {QStringLiteral("Address after the reset"),
          record.DhcpAfterReset ? QStringLiteral("from DHCP") : QStringLiteral("kept as configured")},
         {QStringLiteral("Intermediate image"), esc(record.InterimImage)},
         {QStringLiteral("Final image"), esc(record.FinalImage)},
         {QStringLiteral("Final version"), esc(record.FinalVersion)}});
    return section(QStringLiteral("switch"), QStringLiteral("The switch"),
                   identity + QStringLiteral("<h3>What the run was to do</h3>") + plan);
}

QString slotText(const std::optional<TSwitchState> &state, int TSwitchState::*slot)
{
    if (!state || (*state).*slot < 0)
        return notRead();
    return QString::number((*state).*slot);
}

QString unitVersion(const std::optional<TSwitchState> &state, int unit)
{
    if (!state)
        return notRead();
    const auto found = std::find_if(state->Units.begin(), state->Units.end(),
                                    [unit](const TUnitState &listed) { return listed.Unit == unit; });
    return found == state->Units.end() ? notRead() : orNotRead(found->Version);
}

QString versionsSection(const TRunRecord &record)
{
    const QList<std::optional<TSwitchState>> states{record.Before, record.AfterReset, record.After};
    QList<int> units;
    for (const auto &state : states)
        if (state)
            for (const TUnitState &unit : state->Units)
                if (!units.contains(unit.Unit))
                    units.append(unit.Unit);
    std::sort(units.begin(), units.end());

    const auto row = [&](const QString &title, const auto &cell) {
        QString html = QStringLiteral("<tr><th scope=\"row\">") + title + QStringLiteral("</th>");
        for (const auto &state : states)
            html += QStringLiteral("<td>") + cell(state) + QStringLiteral("</td>");
        return html + QStringLiteral("</tr>");
    };
    QString body = row(QStringLiteral("Read at"), [](const std::optional<TSwitchState> &state) {
        return state && state->ReadAt.isValid() ? fullTime(state->ReadAt) : notRead();
    });
    body += row(record.IsStack ? QStringLiteral("Version (master)") : QStringLiteral("Version"),
                [](const std::optional<TSwitchState> &state) { return state ? orNotRead(state->Version) : notRead(); });
    body += row(QStringLiteral("Active image slot"),
                [](const std::optional<TSwitchState> &state) { return slotText(state, &TSwitchState::ActiveImage); });
    body += row(QStringLiteral("Next boot slot"),
                [](const std::optional<TSwitchState> &state) { return slotText(state, &TSwitchState::NextImage); });
    for (const int unit : units)
        body += row(QStringLiteral("Unit %1 version").arg(unit),
                    [unit](const std::optional<TSwitchState> &state) { return unitVersion(state, unit); });

    return section(QStringLiteral("versions"), QStringLiteral("Versions and boot slots"),
                   QStringLiteral("<div class=\"wide\"><table class=\"versions\">")
                       + QStringLiteral("<thead><tr><td></td><th scope=\"col\">Before</th>"
                                        "<th scope=\"col\">After the reset</th><th scope=\"col\">After</th></tr></thead>")
                       + QStringLiteral("<tbody>") + body + QStringLiteral("</tbody></table></div>"));
}

QString backupsSection(const QList<TBackupFile> &backups)
{
    if (backups.isEmpty())
        return section(QStringLiteral("backups"), QStringLiteral("Configuration backups"),
                       QStringLiteral("<p>The run saved no configuration.</p>"));
    QString body;
    for (qsizetype n = 0; n < backups.size(); ++n) {
        const TBackupFile &backup = backups[n];
        const QString taken = QStringLiteral("run %1").arg(backup.Run)
            + (n == 0 ? QStringLiteral(" <strong class=\"first\">(the configuration before anything changed)</strong>")
                      : QString());
        body += itemWithDigest(
            {QStringLiteral("<span class=\"path\">") + esc(backup.Path) + QStringLiteral("</span>"), sizeText(backup.Size),
             taken},
            backup.Sha256);
    }
    return section(QStringLiteral("backups"), QStringLiteral("Configuration backups"),
                   QStringLiteral("<div class=\"wide\"><table class=\"backups\">")
                       + headerCells({QStringLiteral("Path"), QStringLiteral("Size"), QStringLiteral("Taken by")}) + body
                       + QStringLiteral("</table></div>"));
}

QString imagesSection(const QList<TServedImage> &images)
{
    if (images.isEmpty())
        return section(QStringLiteral("images"), QStringLiteral("Images served"),
                       QStringLiteral("<p>The switch fetched no image from this PC.</p>"));
    QString body;
    for (const TServedImage &image : images) {
        const qint64 ms = image.Started.isValid() && image.Ended.isValid() ? image.Started.msecsTo(image.Ended) : -1;
        const QString completed = image.Completed
            ? QStringLiteral("<span class=\"yes\">completed</span>")
            : QStringLiteral("<span class=\"no\">not completed</span> <span class=\"approx\">")
                + reportLocale().toString(image.Bytes) + QStringLiteral(" of ") + reportLocale().toString(image.Size)
                + QStringLiteral(" bytes</span>");
        body += itemWithDigest({QStringLiteral("<span class=\"path\">") + esc(image.Name) + QStringLiteral("</span>"),
                                sizeText(image.Size), clockTime(image.Started),
                                ms < 0 ? QStringLiteral("<span class=\"missing\">not known</span>") : durationText(ms),
                                rateText(image.rate()), QString::number(image.Retransmissions), completed},
                               image.Sha256);
    }
    return section(QStringLiteral("images"), QStringLiteral("Images served"),
                   QStringLiteral("<div class=\"wide\"><table class=\"images\">")
                       + headerCells({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Started (UTC)"),
                                      QStringLiteral("Duration"), QStringLiteral("Rate"),
                                      QStringLiteral("Retrans\u00admissions"), QStringLiteral("Transfer")})
                       + body + QStringLiteral("</table></div>"));
}

QString kindTitle(TTimelineSpan::Kind kind)
{
    switch (kind) {
    case TTimelineSpan::Kind::Step:
        return QStringLiteral("Step");
    case TTimelineSpan::Kind::Wait:
        return QStringLiteral("Wait");
    case TTimelineSpan::Kind::Transfer:
        return QStringLiteral("Transfer");
    }
    return {};
}

// The moment the timeline and the table of steps count from: the run's start, or the first
// span's when the run's start is not known.
QDateTime timelineOrigin(const TRunRecord &record)
{
    QDateTime origin = record.Started;
    for (const TTimelineSpan &span : record.Timeline)
        if (span.Started.isValid() && (!origin.isValid() || span.Started < origin))
            origin = span.Started;
    return origin;
}

QString stepsSection(const TRunRecord &record)
{
    if (record.Timeline.isEmpty())
        return section(QStringLiteral("steps"), QStringLiteral("Steps"), QStringLiteral("<p>Nothing was timed.</p>"));
    const QDateTime origin = timelineOrigin(record);
    QString body;
    for (qsizetype n = 0; n < record.Timeline.size(); ++n) {
        const TTimelineSpan &span = record.Timeline[n];
        body += rowOf({QString::number(n + 1), kindTitle(span.Type), esc(span.Text), clockTime(span.Started),
                       span.Started.isValid() ? offsetText(origin.msecsTo(span.Started)) : QString(),
                       durationText(span.DurationMs)});
    }
    return section(QStringLiteral("steps"), QStringLiteral("Steps"),
                   QStringLiteral("<div class=\"wide\"><table class=\"steps\">")
                       + headerCells({QStringLiteral("#"), QStringLiteral("Kind"), QStringLiteral("What"),
                                      QStringLiteral("Start (UTC)"), QStringLiteral("From start"),
                                      QStringLiteral("Duration")})
                       + QStringLiteral("<tbody>") + body + QStringLiteral("</tbody></table></div>"));
}

// ---- The timeline drawing

// User units of the drawing; the viewBox scales it to the page's width.
constexpr double kWidth = 900;
constexpr double kAxisLeft = 90;
constexpr double kAxisRight = 880;
constexpr double kTop = 8;
constexpr double kLaneHeight = 30;
constexpr double kRowPadding = 4;
constexpr double kBarHeight = 10;
constexpr double kMinBarWidth = 2;
// Labels are estimated at this many units a character (13-unit sans-serif) to keep them apart.
constexpr double kCharWidth = 7.2;
constexpr double kLabelGap = 10;
constexpr qsizetype kLabelChars = 34;

QString num(double value)
{
    return QString::number(value, 'f', 1);
}

struct PlacedSpan
{
    const TTimelineSpan *Span = nullptr;
    double X = 0;
    double Width = 0;
    int Lane = 0;
    QString Label;
    double LabelX = 0;
    bool LabelEnds = false;
};

struct TimelineScale
{
    QDateTime Origin;
    qint64 TotalMs = 1;

    double x(qint64 ms) const
    {
        const double share = std::clamp(double(ms) / double(TotalMs), 0.0, 1.0);
        return kAxisLeft + share * (kAxisRight - kAxisLeft);
    }
};

TimelineScale timelineScale(const TRunRecord &record)
{
    TimelineScale scale{timelineOrigin(record), 1};
    qint64 end = record.Ended.isValid() && scale.Origin.isValid() ? scale.Origin.msecsTo(record.Ended) : 0;
    for (const TTimelineSpan &span : record.Timeline)
        if (span.Started.isValid())
            end = std::max(end, scale.Origin.msecsTo(span.Started) + span.DurationMs);
    scale.TotalMs = std::max<qint64>(end, 1000);
    return scale;
}

// Places one kind's spans, in the order they began, in as few lanes as keep every label clear
// of the others: a label starts at its bar, or ends at it where it would run past the right edge.
QList<PlacedSpan> placeSpans(const QList<const TTimelineSpan *> &spans, const TimelineScale &scale, int &lanes)
{
    QList<PlacedSpan> placed;
    QList<double> laneEnds;
    for (const TTimelineSpan *span : spans) {
        PlacedSpan item;
        item.Span = span;
        const qint64 start = span->Started.isValid() ? scale.Origin.msecsTo(span->Started) : 0;
        item.X = scale.x(start);
        item.Width = std::max(scale.x(start + span->DurationMs) - item.X, kMinBarWidth);
        item.Label = span->Text.size() > kLabelChars ? span->Text.left(kLabelChars - 1) + QChar(0x2026) : span->Text;
        const double labelWidth = double(item.Label.size()) * kCharWidth;
        double left = item.X;
        double right = std::max(item.X + item.Width, item.X + labelWidth);
        item.LabelX = item.X;
        if (item.X + labelWidth > kWidth) {
            item.LabelEnds = true;
            item.LabelX = item.X + item.Width;
            left = std::min(item.X, item.LabelX - labelWidth);
            right = item.X + item.Width;
        }
        const auto free = std::find_if(laneEnds.begin(), laneEnds.end(),
                                       [left](double end) { return end + kLabelGap <= left; });
        item.Lane = int(free - laneEnds.begin());
        if (free == laneEnds.end())
            laneEnds.append(right);
        else
            *free = right;
        placed.append(item);
    }
    lanes = std::max<int>(int(laneEnds.size()), 1);
    return placed;
}

// A tick every so many seconds, so that a run of any length has at most a dozen.
qint64 tickSeconds(qint64 totalMs)
{
    static const qint64 steps[] = {5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 14400};
    for (const qint64 step : steps)
        if (totalMs / 1000 / step <= 12)
            return step;
    return steps[std::size(steps) - 1] * (totalMs / 1000 / steps[std::size(steps) - 1] / 12 + 1);
}

QString tickLabel(qint64 seconds, qint64 step)
{
    if (step >= 60)
        return QString::number(seconds / 60);
    return QString::number(seconds / 60) + QLatin1Char(':') + twoDigits(seconds % 60);
}

QString kindRowTitle(TTimelineSpan::Kind kind)
{
    switch (kind) {
    case TTimelineSpan::Kind::Step:
        return QStringLiteral("Steps");
    case TTimelineSpan::Kind::Wait:
        return QStringLiteral("Waits");
    case TTimelineSpan::Kind::Transfer:
        return QStringLiteral("Transfers");
    }
    return {};
}

QString spanDescription(const TTimelineSpan &span, const TimelineScale &scale)
{
    const QString from = span.Started.isValid() ? offsetText(scale.Origin.msecsTo(span.Started)) : QStringLiteral("?");
    return kindTitle(span.Type) + QStringLiteral(" \u201c") + esc(span.Text) + QStringLiteral("\u201d from ") + from
        + QStringLiteral(", ") + durationText(span.DurationMs);
}

using SvgAttributes = std::initializer_list<std::pair<const char *, QString>>;

// An element of the drawing. Its attributes' values are numbers and this file's own words; its
// content is escaped by the caller.
QString svgElement(const char *name, SvgAttributes attributes, const QString &content = {})
{
    QString element = QLatin1Char('<') + QLatin1StringView(name);
    for (const auto &[attribute, value] : attributes)
        element += QLatin1Char(' ') + QLatin1StringView(attribute) + QStringLiteral("=\"") + value + QLatin1Char('"');
    if (content.isEmpty())
        return element + QStringLiteral("/>");
    return element + QLatin1Char('>') + content + QStringLiteral("</") + QLatin1StringView(name) + QLatin1Char('>');
}

QString svgLine(const QString &className, double x1, double y1, double x2, double y2)
{
    return svgElement("line", {{"class", className}, {"x1", num(x1)}, {"y1", num(y1)}, {"x2", num(x2)}, {"y2", num(y2)}});
}

// One kind's row of the drawing.
struct TimelineRow
{
    TTimelineSpan::Kind Kind;
    QList<PlacedSpan> Placed;
    double Top = 0;
    double Height = 0;
};

// The row's background, drawn under the grid.
QString timelineBand(const TimelineRow &row)
{
    return svgElement("rect", {{"class", QStringLiteral("band ") + kindName(row.Kind)}, {"x", num(0)},
                               {"y", num(row.Top)}, {"width", num(kWidth)}, {"height", num(row.Height)}});
}

// The row's title and its spans' bars, each with its label and, for a pointer and a screen
// reader, its description.
QString timelineRow(const TimelineRow &layout, const TimelineScale &scale)
{
    const TTimelineSpan::Kind kind = layout.Kind;
    const QList<PlacedSpan> &placed = layout.Placed;
    const double top = layout.Top;
    const double middle = top + layout.Height / 2 + 4;
    QString row = svgElement("text", {{"class", QStringLiteral("kind")}, {"x", num(kAxisLeft - 10)}, {"y", num(middle)},
                                      {"text-anchor", QStringLiteral("end")}},
                             kindRowTitle(kind));
    if (placed.isEmpty())
        row += svgElement("text", {{"class", QStringLiteral("none")}, {"x", num(kAxisLeft + 4)}, {"y", num(middle)}},
                          QStringLiteral("none"));
    for (const PlacedSpan &item : placed) {
        const double laneTop = top + kRowPadding + item.Lane * kLaneHeight;
        const QString bar = svgElement("rect", {{"class", QStringLiteral("bar ") + kindName(kind)}, {"x", num(item.X)},
                                                {"y", num(laneTop + 16)}, {"width", num(item.Width)},
                                                {"height", num(kBarHeight)}, {"rx", num(2)}});
        const QString label = item.LabelEnds
            ? svgElement("text", {{"class", QStringLiteral("label")}, {"x", num(item.LabelX)}, {"y", num(laneTop + 12)},
                                  {"text-anchor", QStringLiteral("end")}},
                         esc(item.Label))
            : svgElement("text", {{"class", QStringLiteral("label")}, {"x", num(item.LabelX)}, {"y", num(laneTop + 12)}},
                         esc(item.Label));
        row += QStringLiteral("<g><title>") + spanDescription(*item.Span, scale) + QStringLiteral("</title>") + bar
            + label + QStringLiteral("</g>");
    }
    return QStringLiteral("<g class=\"row ") + kindName(kind) + QStringLiteral("\">") + row + QStringLiteral("</g>");
}

QString timeGrid(const TimelineScale &scale, double axisY)
{
    const qint64 step = tickSeconds(scale.TotalMs);
    QString grid;
    for (qint64 seconds = 0; seconds * 1000 <= scale.TotalMs; seconds += step) {
        const double x = scale.x(seconds * 1000);
        grid += svgLine(QStringLiteral("grid"), x, kTop, x, axisY);
    }
    return grid;
}

// The time axis under the rows, in minutes from the run's start.
QString timeAxis(const TimelineScale &scale, double axisY)
{
    const qint64 step = tickSeconds(scale.TotalMs);
    QString axis = svgLine(QStringLiteral("axis"), kAxisLeft, axisY, kAxisRight, axisY);
    for (qint64 seconds = 0; seconds * 1000 <= scale.TotalMs; seconds += step) {
        const double x = scale.x(seconds * 1000);
        axis += svgLine(QStringLiteral("axis"), x, axisY, x, axisY + 5)
            + svgElement("text", {{"class", QStringLiteral("tick")}, {"x", num(x)}, {"y", num(axisY + 19)},
                                  {"text-anchor", QStringLiteral("middle")}},
                         tickLabel(seconds, step));
    }
    const QString caption = step >= 60 ? QStringLiteral("minutes from the start of the run")
                                       : QStringLiteral("minutes:seconds from the start of the run");
    return axis
        + svgElement("text", {{"class", QStringLiteral("caption")}, {"x", num((kAxisLeft + kAxisRight) / 2)},
                              {"y", num(axisY + 38)}, {"text-anchor", QStringLiteral("middle")}},
                     caption);
}

QString timelineSvg(const TRunRecord &record)
{
    const TimelineScale scale = timelineScale(record);
    QList<TimelineRow> layout;
    double y = kTop;
    QStringList counts;
    for (const auto kind : {TTimelineSpan::Kind::Step, TTimelineSpan::Kind::Wait, TTimelineSpan::Kind::Transfer}) {
        QList<const TTimelineSpan *> spans;
        for (const TTimelineSpan &span : record.Timeline)
            if (span.Type == kind)
                spans.append(&span);
        std::stable_sort(spans.begin(), spans.end(),
                         [](const TTimelineSpan *a, const TTimelineSpan *b) { return a->Started < b->Started; });
        counts.append(kindRowTitle(kind) + QStringLiteral(": ") + QString::number(spans.size()));
        int lanes = 1;
        TimelineRow row{kind, placeSpans(spans, scale, lanes), y, 0};
        row.Height = lanes * kLaneHeight + 2 * kRowPadding;
        y += row.Height;
        layout.append(row);
    }
    const double axisY = y + 4;
    QString bands;
    QString rows;
    for (const TimelineRow &row : layout) {
        bands += timelineBand(row);
        rows += timelineRow(row, scale);
    }
    const QString description = counts.join(QStringLiteral(", ")) + QStringLiteral(" over ")
        + durationText(scale.TotalMs) + QStringLiteral(" from ")
        + (scale.Origin.isValid() ? fullTime(scale.Origin) : QStringLiteral("the start"))
        + QStringLiteral(", on a time axis in minutes; the table of steps lists each with its start and duration.");
    return QStringLiteral("<svg class=\"timeline\" viewBox=\"0 0 ") + num(kWidth) + QLatin1Char(' ') + num(axisY + 46)
        + QStringLiteral("\" preserveAspectRatio=\"xMinYMin meet\" role=\"img\" "
                         "aria-labelledby=\"timeline-title timeline-desc\">"
                         "<title id=\"timeline-title\">Timeline of the run</title><desc id=\"timeline-desc\">")
        + description + QStringLiteral("</desc>") + bands + timeGrid(scale, axisY) + rows + timeAxis(scale, axisY)
        + QStringLiteral("</svg>");
}

QString timelineSection(const TRunRecord &record)
{
    return section(QStringLiteral("timeline"), QStringLiteral("Timeline"), timelineSvg(record));
}

QString leftConfiguredSection(const TRunRecord &record)
{
    if (record.LeftConfigured.isEmpty())
        return section(QStringLiteral("left-configured"), QStringLiteral("What stays configured on the switch"),
                       QStringLiteral("<p>The run leaves nothing of its own configured on the switch.</p>"));
    QString items;
    for (const QString &setting : record.LeftConfigured)
        items += QStringLiteral("<li><code>") + esc(setting) + QStringLiteral("</code></li>");
    QString body = QStringLiteral("<p>The run wrote these settings, and they stay after it:</p><ul>") + items
        + QStringLiteral("</ul>");
    if (!record.RemovalCommands.isEmpty()) {
        QStringList commands;
        for (const QString &command : record.RemovalCommands)
            commands.append(esc(command));
        body += QStringLiteral("<p>To remove them, type on the switch\u2019s command line:</p><pre class=\"commands\">")
            + commands.join(QLatin1Char('\n')) + QStringLiteral("</pre>");
    }
    return section(QStringLiteral("left-configured"), QStringLiteral("What stays configured on the switch"), body);
}

QString filesSection(const TRunRecord &record)
{
    const auto path = [](const QString &value) {
        return value.isEmpty() ? QStringLiteral("<span class=\"missing\">none</span>")
                               : QStringLiteral("<span class=\"path\">") + esc(value) + QStringLiteral("</span>");
    };
    return section(QStringLiteral("files"), QStringLiteral("Files"),
                   definitions({{QStringLiteral("Log"), path(record.LogPath)},
                                {QStringLiteral("Record (JSON)"), path(record.RecordPath)},
                                {QStringLiteral("This report"), path(record.ReportPath)}}));
}

// Colours say the outcome and the kinds on screen; the words say them everywhere, and print is
// black on white. No rule here may hold "<" or "&": the page stays readable as XML.
const QString kStyle = QStringLiteral(R"css(
:root { color-scheme: light; }
body { font-family: system-ui, -apple-system, "Segoe UI", Roboto, "Helvetica Neue", Arial, sans-serif;
  color: #1f2328; background: #fff; margin: 0 auto; padding: 1.5rem; max-width: 62rem; line-height: 1.45; }
h1 { font-size: 1.6rem; margin: 0 0 .4rem; }
h2 { font-size: 1.2rem; margin: 1.8rem 0 .6rem; padding-bottom: .2rem; border-bottom: 1px solid #d0d7de; }
h3 { font-size: 1rem; margin: 1rem 0 .4rem; }
.outcome { border: 1px solid; border-left-width: .6rem; border-radius: .4rem; padding: 1rem 1.2rem; }
.outcome .badge { display: inline-block; padding: .05rem .6rem; border-radius: 1rem; color: #fff;
  font-size: 1.1rem; vertical-align: .15rem; }
.outcome.success { border-color: #1a7f37; background: #eefbf1; }
.outcome.success .badge { background: #1a7f37; }
.outcome.failure { border-color: #cf222e; background: #fff0ef; }
.outcome.failure .badge { background: #cf222e; }
.outcome.caution { border-color: #bf8700; background: #fff8c5; }
.outcome.caution .badge { background: #9a6700; }
.summary { font-size: 1.1rem; margin: .2rem 0 .8rem; }
dl { display: grid; grid-template-columns: max-content 1fr; gap: .15rem 1.2rem; margin: 0; }
dt { font-weight: 600; }
dd { margin: 0; overflow-wrap: anywhere; }
.wide { overflow-x: auto; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; vertical-align: top; padding: .3rem .5rem; border-bottom: 1px solid #d0d7de; }
thead th, thead td { border-bottom: 2px solid #8c959f; }
tbody th { font-weight: 600; white-space: nowrap; }
table.versions td { white-space: nowrap; }
tr.digest-row td { padding-top: 0; font-size: .85rem; color: #57606a; }
tbody tr.has-digest td { border-bottom: none; }
.steps td:first-child, .steps td:nth-child(4), .steps td:nth-child(5), .steps td:nth-child(6) { white-space: nowrap; }
code, pre { font-family: ui-monospace, "SFMono-Regular", Menlo, Consolas, "DejaVu Sans Mono", monospace; }
.path { overflow-wrap: anywhere; }
code.digest { word-break: break-all; }
table.backups td:nth-child(2), table.images td:nth-child(n+2):nth-child(-n+6) { white-space: nowrap; }
table.images td:first-child { min-width: 11rem; }
pre.commands { background: #f6f8fa; border: 1px solid #d0d7de; border-radius: .3rem; padding: .7rem 1rem;
  white-space: pre-wrap; overflow-wrap: anywhere; user-select: all; }
.missing { color: #57606a; font-style: italic; }
.no { color: #cf222e; font-weight: 600; }
.yes { color: #1a7f37; }
.first { font-weight: 600; }
td .approx { display: block; color: #57606a; }
.message { white-space: pre-wrap; }
svg.timeline { display: block; width: 100%; height: auto; }
svg.timeline text { font-size: 13px; fill: #1f2328; font-family: system-ui, Arial, sans-serif; }
svg.timeline .band { fill: #fff; }
svg.timeline .band.wait { fill: #f6f8fa; }
svg.timeline .kind { font-weight: 600; }
svg.timeline .label { paint-order: stroke; stroke: #fff; stroke-width: 3px; stroke-linejoin: round; }
svg.timeline .none, svg.timeline .caption { fill: #57606a; }
svg.timeline .grid { stroke: #d8dee4; stroke-width: 1; }
svg.timeline .axis { stroke: #57606a; stroke-width: 1; }
svg.timeline .bar.step { fill: #0969da; }
svg.timeline .bar.wait { fill: #d0d7de; stroke: #57606a; stroke-width: 1; }
svg.timeline .bar.transfer { fill: #8250df; }
@media print {
  @page { margin: 14mm 12mm; }
  body { color: #000; background: #fff; max-width: none; padding: 0; font-size: 10pt; }
  h2 { border-bottom-color: #000; break-after: avoid; page-break-after: avoid; }
  h3 { break-after: avoid; page-break-after: avoid; }
  svg.timeline, dl, pre, tr, tbody.item, table.versions { break-inside: avoid; page-break-inside: avoid; }
  thead { display: table-header-group; }
  .wide { overflow: visible; }
  .outcome, .outcome.success, .outcome.failure, .outcome.caution { background: #fff; border-color: #000; }
  .outcome .badge, .outcome.success .badge, .outcome.failure .badge, .outcome.caution .badge {
    background: #fff; color: #000; border: 2px solid #000; font-weight: 700; }
  th, td, thead th, thead td { border-bottom-color: #000; }
  .missing, .no, .yes, tr.digest-row td, td .approx { color: #000; }
  pre.commands { background: #fff; border-color: #000; }
  svg.timeline text, svg.timeline .none, svg.timeline .caption { fill: #000; }
  svg.timeline .band, svg.timeline .band.wait { fill: #fff; }
  svg.timeline .grid { stroke: #ccc; }
  svg.timeline .axis { stroke: #000; }
  svg.timeline .bar.step { fill: #000; }
  svg.timeline .bar.wait { fill: #fff; stroke: #000; }
  svg.timeline .bar.transfer { fill: #888; stroke: #000; }
}
)css");

QString saveWhole(const QString &path, const QByteArray &bytes, const QString &what)
{
    if (path.isEmpty())
        return QStringLiteral("The run's %1 has no path to be written to.").arg(what);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("Cannot write the run's %1 to %2: %3.")
            .arg(what, QDir::toNativeSeparators(path), file.errorString());
    return {};
}

} // namespace

QJsonObject recordJson(const TRunRecord &record)
{
    return {{QStringLiteral("recordFormat"), kRecordFormat},
            {QStringLiteral("program"), record.Program},
            {QStringLiteral("started"), timeJson(record.Started)},
            {QStringLiteral("ended"), timeJson(record.Ended)},
            {QStringLiteral("switchAddress"), record.SwitchAddress},
            {QStringLiteral("type"), record.Type},
            {QStringLiteral("objectId"), record.ObjectId},
            {QStringLiteral("systemName"), record.SystemName},
            {QStringLiteral("macAddress"), record.MacAddress},
            {QStringLiteral("units"), record.Units},
            {QStringLiteral("isStack"), record.IsStack},
            {QStringLiteral("tftpServerAddress"), record.TftpServerAddress},
            {QStringLiteral("dhcpAfterReset"), record.DhcpAfterReset},
            {QStringLiteral("interimImage"), record.InterimImage},
            {QStringLiteral("finalImage"), record.FinalImage},
            {QStringLiteral("finalVersion"), record.FinalVersion},
            {QStringLiteral("before"), stateJson(record.Before)},
            {QStringLiteral("afterReset"), optionalStateJson(record.AfterReset)},
            {QStringLiteral("after"), optionalStateJson(record.After)},
            {QStringLiteral("backups"), backupsJson(record.Backups)},
            {QStringLiteral("images"), imagesJson(record.Images)},
            {QStringLiteral("timeline"), timelineJson(record.Timeline)},
            {QStringLiteral("result"), resultJson(record.Result)},
            {QStringLiteral("logPath"), record.LogPath},
            {QStringLiteral("recordPath"), record.RecordPath},
            {QStringLiteral("reportPath"), record.ReportPath},
            {QStringLiteral("leftConfigured"), QJsonArray::fromStringList(record.LeftConfigured)},
            {QStringLiteral("removalCommands"), QJsonArray::fromStringList(record.RemovalCommands)}};
}

QString reportHtml(const TRunRecord &record)
{
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                                  "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n<title>");
    html += QStringLiteral("Upgrade of ") + esc(record.SwitchAddress) + QStringLiteral(": ")
        + outcomeWord(record.Result.Outcome) + QStringLiteral("</title>\n<style>") + kStyle
        + QStringLiteral("</style>\n</head>\n<body>\n");
    html += headerSection(record);
    if (!record.Result.succeeded())
        html += stopSection(record.Result);
    html += switchSection(record);
    html += versionsSection(record);
    html += backupsSection(record.Backups);
    html += imagesSection(record.Images);
    html += timelineSection(record);
    html += stepsSection(record);
    html += leftConfiguredSection(record);
    html += filesSection(record);
    return html + QStringLiteral("</body>\n</html>\n");
}

QString writeRecordFiles(const TRunRecord &record)
{
    QStringList problems;
    const QString json = saveWhole(record.RecordPath, QJsonDocument(recordJson(record)).toJson(QJsonDocument::Indented),
                                   QStringLiteral("record"));
    if (!json.isEmpty())
        problems.append(json);
    const QString report = saveWhole(record.ReportPath, reportHtml(record).toUtf8(), QStringLiteral("report"));
    if (!report.isEmpty())
        problems.append(report);
    return problems.join(QLatin1Char('\n'));
}
