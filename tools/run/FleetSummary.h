#pragma once

#include "RunDisplay.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// How one switch of a run over several fared.
struct TSwitchOutcome
{
    TSwitchRunEnd End;
    // From its start to its end, in real time; 0 for a switch that never started.
    qint64 DurationMs = 0;
};

// Whether the run wrote anything to the switch: it got past the configuration backup, left a
// setting on it, or its outcome says the upgrade went through.
bool switchChanged(const TSwitchRunEnd &end);

// The summary of a run over several switches, the same for the last JSON line and the summary
// file (without "type" and "time"):
//   { "exitStatus": N, "summaryFile": path or null,
//     "switches": [ { "switch", "outcome", "exitStatus", "step", "reason", "versionBefore",
//                     "versionAfter", "durationMs", "changed",
//                     "backup": { "path", "size", "sha256" } or null,
//                     "recordPath", "reportPath", "logPath" } ] }
// with the switches in the order they were given.
QJsonObject summaryJson(const QList<TSwitchOutcome> &outcomes, int exitStatus, const QString &summaryFile);

// Where the summary goes: <name>.summary.json beside the inventory, or tessaro-run.summary.json
// in the folder that takes the backups of several --switch.
QString summaryFilePath(const QString &inventoryPath, const QString &backupFolder);

// Writes the summary as indented JSON, whole or not at all; empty, or why it could not.
QString writeSummaryFile(const QString &path, const QJsonObject &summary);

// The table for people: a heading, then each switch's address, outcome, versions before and
// after, and duration.
QStringList summaryTable(const QList<TSwitchOutcome> &outcomes);

// Each switch that was stopped while something had been written to it, with the step and the
// state its run left it in; empty when none was.
QStringList stoppedMidWrite(const QList<TSwitchOutcome> &outcomes);
