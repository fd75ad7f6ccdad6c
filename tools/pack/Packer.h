#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QTextStream;

// One file to store: the name it is stored under (already lowered) and where it comes from.
struct PackEntry
{
    QByteArray name;
    QString path;
};

// "NAME=PATH" to an entry; raises Exception on a missing part or a name too long to store.
PackEntry ParseEntry(const QString &argument);

// Writes outPath: a copy of exePath (cut at its own appendix, if it has one) followed by an
// appendix holding the entries in the given order and, last, kDigestListName with their
// SHA-256 (see payload/PayloadDigests.h); an entry of that name is refused. Builds the
// result beside outPath and renames it into place only once it reads back correctly, so a
// failure (raised as Exception) leaves outPath as it was.
void packProgram(const QString &exePath, const QString &outPath, const QList<PackEntry> &entries);

// Prints the appendix directory of path; false when the file has no appendix.
bool listAppendix(const QString &path, QTextStream &out);
