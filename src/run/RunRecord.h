#pragma once

#include "run/RunEvents.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The evidence a run leaves: what the switch was, what it is now, where its configuration is
// kept and that it is whole, what it was served, how long each part took, how it ended and
// what it leaves configured. Written beside the configuration backup as a JSON record for
// automation and a self-contained HTML report for the operator.

// One unit of a stack, or the switch itself.
struct TUnitState
{
    int Unit = 1;
    QString Version;
};

// What the switch reported at one moment.
struct TSwitchState
{
    QDateTime ReadAt;
    // The master's version and boot slots ("show version", "show bootvar"); -1 when unknown.
    QString Version;
    int ActiveImage = -1;
    int NextImage = -1;
    // Each unit's version, where the switch listed them (a stack's "show version").
    QList<TUnitState> Units;
};

struct TBackupFile
{
    QString Path;
    qint64 Size = 0;
    QByteArray Sha256; // raw bytes
    // Which full run of this program took it: 1 for the configuration as it was before
    // anything changed.
    int Run = 1;
};

// A file the switch fetched from the PC's TFTP server.
struct TServedImage
{
    QString Name;
    qint64 Size = 0;
    QByteArray Sha256; // raw bytes
    QDateTime Started;
    QDateTime Ended;
    qint64 Bytes = 0;
    int Retransmissions = 0;
    bool Completed = false;

    // Bytes per second over the transfer; 0 when it took no measurable time.
    double rate() const;
};

// A span of the run's timeline.
struct TTimelineSpan
{
    enum class Kind { Step, Wait, Transfer };
    Kind Type = Kind::Step;
    QString Text;
    QDateTime Started;
    qint64 DurationMs = 0;
};

struct TRunRecord
{
    // The program and its version, as "tessaro 1.0.0.1" or "tessaro-run 1.0.0.1".
    QString Program;
    QDateTime Started;
    QDateTime Ended;

    // The switch's identity ("show system", "show stack").
    QString SwitchAddress;
    QString Type;
    QString ObjectId;
    QString SystemName;
    QString MacAddress;
    // Units of the stack; 1 for a standalone switch.
    int Units = 1;
    bool IsStack = false;

    // What the run was to do.
    QString TftpServerAddress;
    bool DhcpAfterReset = false;
    QString InterimImage;
    QString FinalImage;
    QString FinalVersion;

    TSwitchState Before;
    // Read again after the run's reset, when it came that far.
    std::optional<TSwitchState> AfterReset;
    // Read once the switch had upgraded itself, when the run came that far.
    std::optional<TSwitchState> After;

    // The first is the configuration taken before anything changed on the switch.
    QList<TBackupFile> Backups;
    QList<TServedImage> Images;
    // Steps, waits and transfers, in the order they began.
    QList<TTimelineSpan> Timeline;

    TRunResult Result;

    QString LogPath;
    QString RecordPath;
    QString ReportPath;

    // The settings the run wrote to the switch that stay after it ("snmp-server community
    // vemtal su", the location and contact it wrote), and the commands that remove them.
    QStringList LeftConfigured;
    QStringList RemovalCommands;
};

// The record as one JSON object, read by automation: its keys are the fields' names in
// lowerCamelCase and keep their meaning; "recordFormat" rises only when a key changes meaning or
// goes away (a new key leaves it as it is). Times are ISO 8601 UTC with milliseconds
// ("2026-03-12T09:14:03.120Z") or null when not known; digests are SHA-256 in lower-case hex, or
// null when not computed; sizes and byte counts are whole numbers, rate is bytes per second.
//
//   { "recordFormat": 1,
//     "program": "tessaro 1.0.0.1", "started": time, "ended": time,
//     "switchAddress": "10.20.30.41", "type": "...", "objectId": "1.3.6.1.4.1...",
//     "systemName": "...", "macAddress": "00:1b:...", "units": 1, "isStack": false,
//     "tftpServerAddress": "10.20.30.5", "dhcpAfterReset": false,
//     "interimImage": "...", "finalImage": "...", "finalVersion": "7.4.6",
//     "before": state, "afterReset": state or null, "after": state or null,
//     "backups": [ { "path": "...", "size": 48213, "sha256": hex, "run": 1 } ],
//     "images": [ { "name": "...", "size": 3500373, "sha256": hex or null, "started": time,
//                   "ended": time or null, "bytes": 3500373, "retransmissions": 2,
//                   "completed": true, "rate": 36462.2 } ],
//     "timeline": [ { "kind": "step" | "wait" | "transfer", "text": "...", "started": time,
//                     "durationMs": 3400 } ],
//     "result": { "outcome": "done" | "already-final" | "failed" | "interrupted",
//                 "succeeded": true, "step": "", "reason": "", "error": "" },
//     "logPath": "...", "recordPath": "...", "reportPath": "...",
//     "leftConfigured": [ "snmp-server community vemtal su", ... ],
//     "removalCommands": [ "no snmp-server community vemtal", ... ] }
//
//   state: { "readAt": time, "version": "7.4.3", "activeImage": 1 or null,
//            "nextImage": 1 or null, "units": [ { "unit": 1, "version": "7.4.3" } ] }
//
// "succeeded" is true for "done" and "already-final". A boot slot the switch did not report
// (-1 in TSwitchState) is null. The first backup is the configuration before anything changed.
QJsonObject recordJson(const TRunRecord &record);

// The report: one HTML page with its style and its timeline (inline SVG) inside it, nothing
// loaded from elsewhere, readable in any browser and printable. It is written as XHTML is
// (every tag closed, attributes quoted, no entity but XML's own), so that an XML reader takes it
// too; every text from the switch or the operator is escaped.
QString reportHtml(const TRunRecord &record);

// Writes record.RecordPath (the JSON, indented) and record.ReportPath (the page, UTF-8), each
// whole or not at all: a file that cannot be written leaves an earlier one as it was, and does
// not keep the other from being written. Returns an empty text, or why a file could not be
// written, naming its path (one line for each).
QString writeRecordFiles(const TRunRecord &record);
