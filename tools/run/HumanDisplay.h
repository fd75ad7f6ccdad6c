#pragma once

#include "RunDisplay.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <cstdio>

// The run for people: one line per step with the time since the start and how long the
// previous step took, the run's progress lines indented below, a bar for each transfer and a
// countdown for the long waits, the operator's messages marked WARNING or ERROR, and at the end
// what became of the switch and where the evidence is. On a terminal the bar and the countdown
// are redrawn in place; elsewhere (a file, a pipe) the bar is a line every 10 % and the
// countdown one line. With a prefix (the switch's address, when several switches share the
// output) every line begins with it, and nothing is redrawn in place: another switch's line
// may come between.
class THumanDisplay final : public QObject, public IRunDisplay
{
    Q_OBJECT

public:
    THumanDisplay(FILE *out, bool terminal, const QString &prefix = {}, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(THumanDisplay)

    // The program's own lines outside a step: what it starts with, the summary at the end.
    void heading(const QString &text);

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
    // A line of its own; a line drawn in place is ended first.
    void line(const QString &text);
    void indented(const QString &text);
    // The line drawn in place: redrawn on a terminal.
    void drawInPlace(const QString &text);
    void endInPlace();
    void flushPendingLine();
    // A new step: its line with the elapsed time and the previous step's duration.
    void beginStep(const QString &label, const QString &text);
    void showCountdown();
    QString marked(const QString &mark, const char *colour) const;
    void showPlan(const TRunPlan &plan);
    void showResult(const TSwitchRunEnd &end);

    FILE *m_out;
    const QString m_prefix;
    // Whether lines may be redrawn in place.
    const bool m_terminal;
    const bool m_colour;
    QElapsedTimer m_clock;
    qint64 m_stepStartedMs = -1;
    int m_stepCount = 0;
    // The run's latest estimate of the time it still needs; -1 before the first.
    qint64 m_remainingMs = -1;
    TRunPhase m_phase = TRunPhase::Intermediate;
    // The lines of the step shown so far: the run repeats the switch's whole answer at every
    // pause of a copy.
    QSet<QString> m_shownInStep;
    // In the final phase each status arrives as a progress line and then as a status: the line
    // waits to see whether the status follows.
    QString m_pendingLine;
    bool m_inPlace = false;
    QString m_transferFile;
    int m_transferTenth = -1;
    QTimer m_countdown;
    QString m_waitText;
    qint64 m_waitMs = 0;
    quint32 m_waitStartTick = 0;
};
