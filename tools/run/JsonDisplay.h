#pragma once

#include "RunDisplay.h"

#include <QJsonObject>
#include <QSet>

#include <cstdio>

// One switch's run for automation: one JSON object per line, each with "type" (step, progress,
// transfer, status, message, result), "switch" (its address) and "time" (ISO 8601, UTC). The
// run's last line is the result: the outcome, the step and the reason, the exit status, the
// switch's versions before and after, the backup with its size and SHA-256, the images served
// with their digests, the paths of the record, the report and the log, and with --plan the
// plan. Several switches' displays may share one output: each line is whole.
class TJsonDisplay final : public IRunDisplay
{
public:
    TJsonDisplay(FILE *out, const QString &switchAddress);
    Q_DISABLE_COPY_MOVE(TJsonDisplay)

    void phaseStarted(TRunPhase phase) override;
    void stepCountChanged(int count) override;
    void stepStarted(int position, const QString &text) override;
    void progressLine(const QString &text) override;
    void transferProgress(const TTransferProgress &progress) override;
    void statusRead(const QString &status, int step) override;
    void waitStarted(const QString &text, int ms) override;
    void message(Platform::MessageKind kind, const QString &text) override;
    void estimateChanged(qint64 ms) override;
    void inventoryTaken(const TInventorySummary &inventory) override;
    void finished(const TSwitchRunEnd &end) override;

private:
    void write(const QString &type, QJsonObject object);

    FILE *m_out;
    const QString m_switch;
    QString m_phase = QStringLiteral("intermediate");
    int m_stepCount = 0;
    qint64 m_stepStartedMs = -1;
    qint64 m_remainingMs = -1;
    qint64 m_startedMs;
    QSet<QString> m_linesInStep;
};

// The result line's fields (without "type" and "time").
QJsonObject resultJson(const TSwitchRunEnd &end);

// object as a line of its type, stamped with the time.
QJsonObject jsonLine(const QString &type, QJsonObject object);
// One compact line, flushed.
void writeJsonLine(FILE *out, const QJsonObject &line);
