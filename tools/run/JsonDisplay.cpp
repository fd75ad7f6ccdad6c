#include "JsonDisplay.h"

#include "TerminalText.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString kindName(Platform::MessageKind kind)
{
    switch (kind) {
    case Platform::MessageKind::Plain:
        return QStringLiteral("plain");
    case Platform::MessageKind::Information:
        return QStringLiteral("information");
    case Platform::MessageKind::Warning:
        return QStringLiteral("warning");
    case Platform::MessageKind::Error:
        return QStringLiteral("error");
    case Platform::MessageKind::Question:
        return QStringLiteral("question");
    }
    return {};
}

// A text from the switch or the procedure, as one string without escapes; line ends kept as
// "\n".
QString cleanText(const QString &text)
{
    return displayLines(text).join(u'\n');
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonObject inventoryJson(const TInventorySummary &inventory)
{
    return {{QStringLiteral("switch"), inventory.SwitchAddress},
            {QStringLiteral("deviceType"), cleanText(inventory.Type)},
            {QStringLiteral("objectId"), inventory.ObjectId},
            {QStringLiteral("systemName"), cleanText(inventory.SystemName)},
            {QStringLiteral("macAddress"), cleanText(inventory.MacAddress)},
            {QStringLiteral("version"), cleanText(inventory.Version)},
            {QStringLiteral("activeImage"), inventory.ActiveImage},
            {QStringLiteral("nextImage"), inventory.NextImage},
            {QStringLiteral("isStack"), inventory.IsStack},
            {QStringLiteral("units"), inventory.Units},
            {QStringLiteral("finalVersion"), inventory.FinalVersion},
            {QStringLiteral("interimImage"), inventory.InterimImage},
            {QStringLiteral("finalImage"), inventory.FinalImage},
            {QStringLiteral("tftpAddress"), inventory.TftpAddress}};
}

QJsonObject planJson(const TRunPlan &plan)
{
    QJsonArray images;
    for (const TRunPlan::Image &image : plan.Images) {
        images.append(QJsonObject{{QStringLiteral("name"), image.Name},
                                  {QStringLiteral("size"), image.Size},
                                  {QStringLiteral("sha256"), image.Sha256},
                                  {QStringLiteral("fetchedBySwitch"), image.FetchedBySwitch}});
    }
    QJsonArray waits;
    for (const TRunPlan::Wait &wait : plan.Waits)
        waits.append(QJsonObject{{QStringLiteral("text"), wait.Text}, {QStringLiteral("ms"), wait.Ms}});
    QJsonArray segments;
    for (const TRunPlan::Segment &segment : plan.Segments) {
        segments.append(QJsonObject{{QStringLiteral("step"), segment.Step},
                                    {QStringLiteral("fixedMs"), segment.FixedMs},
                                    {QStringLiteral("bytes"), segment.Bytes}});
    }
    return {{QStringLiteral("path"), pathName(plan.Route)},
            {QStringLiteral("images"), images},
            {QStringLiteral("resets"), plan.Resets},
            {QStringLiteral("waits"), waits},
            {QStringLiteral("steps"), segments},
            {QStringLiteral("assumedBytesPerSecond"), kAssumedBytesPerSecond},
            {QStringLiteral("estimatedMs"), plan.estimatedMs()}};
}

} // namespace

QJsonObject resultJson(const TSwitchRunEnd &end)
{
    const TRunResult &result = end.Result;
    QJsonObject object{{QStringLiteral("outcome"), end.Plan ? QStringLiteral("planned") : outcomeName(result.Outcome)},
                       {QStringLiteral("exitStatus"), end.ExitStatus},
                       {QStringLiteral("switch"), end.SwitchAddress},
                       {QStringLiteral("step"), orNull(result.Step)},
                       {QStringLiteral("reason"), cleanText(result.Reason)},
                       {QStringLiteral("error"), orNull(cleanText(result.Error))},
                       {QStringLiteral("logPath"), orNull(end.LogPath)}};
    if (end.Inventory)
        object.insert(QStringLiteral("inventory"), inventoryJson(*end.Inventory));
    if (end.Plan)
        object.insert(QStringLiteral("plan"), planJson(*end.Plan));

    QJsonValue backup(QJsonValue::Null);
    QString before = end.Inventory ? end.Inventory->Version : QString();
    QString after = before;
    if (end.Record) {
        const TRunRecord &record = *end.Record;
        const QJsonObject whole = recordJson(record);
        before = record.Before.Version;
        after = versionAfter(record);
        if (!record.Backups.isEmpty()) {
            const TBackupFile &first = record.Backups.constFirst();
            backup = QJsonObject{{QStringLiteral("path"), first.Path},
                                 {QStringLiteral("size"), first.Size},
                                 {QStringLiteral("sha256"), QString::fromLatin1(first.Sha256.toHex())}};
        }
        object.insert(QStringLiteral("backups"), whole.value(QStringLiteral("backups")));
        object.insert(QStringLiteral("images"), whole.value(QStringLiteral("images")));
        object.insert(QStringLiteral("before"), whole.value(QStringLiteral("before")));
        object.insert(QStringLiteral("after"), whole.value(QStringLiteral("after")));
        object.insert(QStringLiteral("recordPath"), orNull(record.RecordPath));
        object.insert(QStringLiteral("reportPath"), orNull(record.ReportPath));
        object.insert(QStringLiteral("leftConfigured"), whole.value(QStringLiteral("leftConfigured")));
        object.insert(QStringLiteral("removalCommands"), whole.value(QStringLiteral("removalCommands")));
    } else {
        object.insert(QStringLiteral("backups"), QJsonArray());
        object.insert(QStringLiteral("images"), QJsonArray());
        object.insert(QStringLiteral("recordPath"), QJsonValue(QJsonValue::Null));
        object.insert(QStringLiteral("reportPath"), QJsonValue(QJsonValue::Null));
    }
    object.insert(QStringLiteral("backup"), backup);
    object.insert(QStringLiteral("versionBefore"), orNull(cleanText(before)));
    object.insert(QStringLiteral("versionAfter"), orNull(cleanText(after)));
    return object;
}

QJsonObject jsonLine(const QString &type, QJsonObject object)
{
    object.insert(QStringLiteral("type"), type);
    object.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    return object;
}

void writeJsonLine(FILE *out, const QJsonObject &line)
{
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

TJsonDisplay::TJsonDisplay(FILE *out, const QString &switchAddress)
    : m_out(out), m_switch(switchAddress), m_startedMs(nowMs())
{
}

void TJsonDisplay::write(const QString &type, QJsonObject object)
{
    object.insert(QStringLiteral("switch"), m_switch);
    writeJsonLine(m_out, jsonLine(type, std::move(object)));
}

void TJsonDisplay::phaseStarted(TRunPhase phase)
{
    m_phase = phase == TRunPhase::Final ? QStringLiteral("final") : QStringLiteral("intermediate");
}

void TJsonDisplay::stepCountChanged(int count)
{
    m_stepCount = count;
}

void TJsonDisplay::stepStarted(int position, const QString &text)
{
    const qint64 now = nowMs();
    QJsonObject step{{QStringLiteral("phase"), m_phase},
                     {QStringLiteral("position"), position},
                     {QStringLiteral("steps"), m_stepCount},
                     {QStringLiteral("text"), cleanText(text)},
                     {QStringLiteral("elapsedMs"), now - m_startedMs}};
    step.insert(QStringLiteral("previousMs"), m_stepStartedMs < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(now - m_stepStartedMs));
    step.insert(QStringLiteral("remainingMs"), m_remainingMs < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(m_remainingMs));
    m_stepStartedMs = now;
    m_linesInStep.clear();
    write(QStringLiteral("step"), step);
}

void TJsonDisplay::progressLine(const QString &text)
{
    // The run repeats the switch's whole answer at every pause of a copy; each line once.
    const QString clean = cleanText(text);
    if (clean.isEmpty() || m_linesInStep.contains(clean))
        return;
    m_linesInStep.insert(clean);
    write(QStringLiteral("progress"), {{QStringLiteral("phase"), m_phase}, {QStringLiteral("text"), clean}});
}

void TJsonDisplay::transferProgress(const TTransferProgress &progress)
{
    write(QStringLiteral("transfer"), {{QStringLiteral("file"), cleanText(progress.File)},
                                       {QStringLiteral("direction"), progress.Writing ? QStringLiteral("to-pc")
                                                                                      : QStringLiteral("to-switch")},
                                       {QStringLiteral("bytes"), progress.Bytes},
                                       {QStringLiteral("size"), progress.Size > 0 ? QJsonValue(progress.Size)
                                                                                 : QJsonValue(QJsonValue::Null)},
                                       {QStringLiteral("bytesPerSecond"), progress.Rate},
                                       {QStringLiteral("ended"), progress.Ended}});
}

void TJsonDisplay::statusRead(const QString &status, int step)
{
    const qint64 now = nowMs();
    QJsonObject object{{QStringLiteral("source"), QStringLiteral("switch")},
                       {QStringLiteral("status"), cleanText(status)},
                       {QStringLiteral("step"), step},
                       {QStringLiteral("steps"), m_stepCount},
                       {QStringLiteral("elapsedMs"), now - m_startedMs}};
    object.insert(QStringLiteral("previousMs"), m_stepStartedMs < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(now - m_stepStartedMs));
    object.insert(QStringLiteral("remainingMs"), m_remainingMs < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(m_remainingMs));
    m_stepStartedMs = now;
    write(QStringLiteral("status"), object);
}

void TJsonDisplay::waitStarted(const QString &text, int ms)
{
    write(QStringLiteral("progress"),
          {{QStringLiteral("phase"), m_phase}, {QStringLiteral("text"), cleanText(text)}, {QStringLiteral("waitMs"), ms}});
}

void TJsonDisplay::message(Platform::MessageKind kind, const QString &text)
{
    write(QStringLiteral("message"), {{QStringLiteral("kind"), kindName(kind)}, {QStringLiteral("text"), cleanText(text)}});
}

void TJsonDisplay::estimateChanged(qint64 ms)
{
    m_remainingMs = ms;
}

void TJsonDisplay::inventoryTaken(const TInventorySummary &inventory)
{
    QJsonObject object = inventoryJson(inventory);
    object.insert(QStringLiteral("source"), QStringLiteral("inventory"));
    write(QStringLiteral("status"), object);
}

void TJsonDisplay::finished(const TSwitchRunEnd &end)
{
    write(QStringLiteral("result"), resultJson(end));
}
