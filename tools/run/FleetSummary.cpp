#include "FleetSummary.h"

#include "JsonDisplay.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <array>

namespace {

const QString kNotKnown = QStringLiteral("-");

QString textOr(const QJsonValue &value, const QString &otherwise)
{
    return value.isString() && !value.toString().isEmpty() ? value.toString() : otherwise;
}

} // namespace

bool switchChanged(const TSwitchRunEnd &end)
{
    if (end.Plan)
        return false;
    if (end.Result.Outcome == TRunOutcome::Done || end.Result.Outcome == TRunOutcome::Unconfirmed)
        return true;
    if (!end.Record)
        return false;
    const TRunRecord &record = *end.Record;
    return !record.Backups.isEmpty() || !record.LeftConfigured.isEmpty() || !record.Images.isEmpty()
        || record.AfterReset.has_value();
}

QJsonObject summaryJson(const QList<TSwitchOutcome> &outcomes, int exitStatus, const QString &summaryFile)
{
    static const std::array kResultKeys{
        QStringLiteral("switch"),       QStringLiteral("outcome"),       QStringLiteral("exitStatus"),
        QStringLiteral("step"),         QStringLiteral("reason"),        QStringLiteral("versionBefore"),
        QStringLiteral("versionAfter"), QStringLiteral("backup"),        QStringLiteral("recordPath"),
        QStringLiteral("reportPath"),   QStringLiteral("logPath")};
    QJsonArray switches;
    for (const TSwitchOutcome &outcome : outcomes) {
        const QJsonObject result = resultJson(outcome.End);
        QJsonObject entry;
        for (const QString &key : kResultKeys)
            entry.insert(key, result.value(key));
        entry.insert(QStringLiteral("durationMs"), outcome.DurationMs);
        entry.insert(QStringLiteral("changed"), switchChanged(outcome.End));
        switches.append(entry);
    }
    return {{QStringLiteral("exitStatus"), exitStatus},
            {QStringLiteral("summaryFile"), summaryFile.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(summaryFile)},
            {QStringLiteral("switches"), switches}};
}

QString summaryFilePath(const QString &inventoryPath, const QString &backupFolder)
{
    if (inventoryPath.isEmpty())
        return backupFolder + QStringLiteral("/tessaro-run.summary.json");
    const QFileInfo inventory(inventoryPath);
    return inventory.absolutePath() + u'/' + inventory.completeBaseName() + QStringLiteral(".summary.json");
}

QString writeSummaryFile(const QString &path, const QJsonObject &summary)
{
    QSaveFile file(path);
    const QByteArray bytes = QJsonDocument(summary).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("The summary could not be written to %1: %2.").arg(path, file.errorString());
    return {};
}

QStringList summaryTable(const QList<TSwitchOutcome> &outcomes)
{
    QList<std::array<QString, 5>> rows{{QStringLiteral("switch"), QStringLiteral("outcome"),
                                        QStringLiteral("version before"), QStringLiteral("version after"),
                                        QStringLiteral("duration")}};
    for (const TSwitchOutcome &outcome : outcomes) {
        const QJsonObject result = resultJson(outcome.End);
        rows.append({outcome.End.SwitchAddress, result.value(QStringLiteral("outcome")).toString(),
                     textOr(result.value(QStringLiteral("versionBefore")), kNotKnown),
                     textOr(result.value(QStringLiteral("versionAfter")), kNotKnown),
                     outcome.DurationMs > 0 ? durationText(outcome.DurationMs) : kNotKnown});
    }
    std::array<qsizetype, 5> widths{};
    for (const auto &row : std::as_const(rows)) {
        for (size_t column = 0; column < widths.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    QStringList lines{QStringLiteral("Summary of %1 switches:").arg(outcomes.size())};
    for (const auto &row : std::as_const(rows)) {
        QString line = QStringLiteral("  ");
        for (size_t column = 0; column < row.size(); ++column)
            line += column + 1 < row.size() ? row[column].leftJustified(widths[column] + 2) : row[column];
        lines << line;
    }
    return lines;
}

QStringList stoppedMidWrite(const QList<TSwitchOutcome> &outcomes)
{
    QStringList lines;
    for (const TSwitchOutcome &outcome : outcomes) {
        const TSwitchRunEnd &end = outcome.End;
        if (end.Result.Outcome != TRunOutcome::Interrupted || !switchChanged(end))
            continue;
        lines << QStringLiteral("%1 was stopped mid-write at the step \"%2\": %3")
                     .arg(end.SwitchAddress, end.Result.Step, end.Result.Reason);
    }
    return lines;
}
