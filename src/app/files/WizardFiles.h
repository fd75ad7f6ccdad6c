#pragma once

#include <QString>
#include <QStringList>

class TEXEAppendixFileSystem;

// The main window's file work, which needs no window: the payload unpacked into the working
// folder at start-up, and the run log kept on disk.

// Writes the payload's image table and help documents into folder (ending in a separator).
// A payload without an image table yields nothing at all, the help documents neither. A help
// document that cannot be written is skipped; a table that cannot be written raises
// EFCreateError or EWriteError.
void extractPayloadFiles(const TEXEAppendixFileSystem &store, const QString &folder);

// The program's text files: 8-bit text as the switch sends it, every line ended by a line
// feed, written whole or not at all.
void saveLines(const QString &path, const QStringList &lines);

// The run log on disk: "Quillo_" + device address + ".log" in the working folder and beside
// the configuration file. The first save that writes moves a log already beside the
// configuration file to the first free name among ".old1.log" to ".old10.log" (when all ten
// are taken, it is overwritten).
class TRunLogFiles final
{
public:
    static QString logName(const QString &deviceAddress);

    // Writes lines to both files, replacing them; nothing while the address or the
    // configuration file name is empty.
    void save(const QString &deviceAddress, const QString &configFileName, const QStringList &lines,
              const QString &workingFolder);

private:
    bool m_logRotationPending = true;
};
