#pragma once

#include <QString>
#include <QStringList>

// Parsers of the switch's show-command output. Pure functions of the received lines, so
// the device's dialects can be tested without a device.

// A line matches a key when, trimmed, it begins with the key in any letter case; its value
// is the rest of the trimmed line, without one leading ":", trimmed again.
QString FindValue(const QStringList &lines, const QString &key);            // the last match
QStringList FindValues(const QStringList &lines, const QStringList &keys);  // FindValue per key
QStringList FindAllValues(const QStringList &lines, const QString &key);    // every match, in order

struct TShowSystem
{
    QString Type;
    QString ObjectId;
    QString Name;
    QString Location;
    QString Contact;
    QString MacAddress;
};
TShowSystem ParseShowSystem(const QStringList &lines);

struct TVersion
{
    QString Version;
    QString Date;
};
TVersion ParseVersion(const QStringList &lines, const QString &key);

struct TBootVar
{
    int Active = -1;
    int Next = -1;
};
TBootVar ParseBootVar(const QStringList &lines);

// One unit's row of a stack's "show version " table: the unit number, then its software
// version, as the first two words of the row.
struct TUnitVersion
{
    int Unit = 0;
    QString Version;
};
// The rows of that table whose first word is a unit number and which have a second word.
QList<TUnitVersion> parseUnitVersions(const QStringList &lines);

// The unit suffix for the show commands from a "show stack" answer: empty on a standalone
// device, " unit " and the master's number on a stack. Raises on an unusable answer.
QString parseShowStack(const QStringList &received);
