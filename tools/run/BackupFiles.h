#pragma once

#include <QString>

struct TKeptBackup
{
    // Where the earlier file went; empty when there was none to keep.
    QString KeptAs;
    // Why it could not be kept; empty when it was, or when there was none.
    QString Error;
};

// The first free name of the form <stem>.oldN<ext> beside path (sw.txt: sw.old1.txt,
// sw.old2.txt, ...; a name without an extension takes .oldN at its end).
QString freeOldName(const QString &path);

// Moves a file at path out of the way of a new backup, to freeOldName(path), so that no
// backup is ever overwritten. Nothing when there is no file at path.
TKeptBackup keepEarlierBackup(const QString &path);
