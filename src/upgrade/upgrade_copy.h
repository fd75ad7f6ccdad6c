#pragma once

#include <QString>
#include <QStringList>

// The pieces of the TFTP copy operations (TTelnetOperations::BackupConfiguration and
// DownloadImage) that need no switch.

// The name under which the switch uploads its configuration into the TFTP server's root.
inline const QString kConfigUploadName = QStringLiteral("conf_file.txt");

// The texts the switch's answer is searched for.
inline const QString kUnrecognizedCommand = QStringLiteral("unrecognized command"); // any letter case
inline const QString kOperationFailed = QStringLiteral("operation has failed");     // any letter case
inline const QString kOccupied = QStringLiteral("occupied by another user");        // any letter case
inline const QString kCopyCompleted = QStringLiteral("bytes copied in");            // exactly so

// Pauses of a second that the waits for a copy may take. The switch moves a few kilobytes of
// configuration or a 3.5 to 5.5 MB image one 512-byte block at a time, a minute or so on a
// slow management link; twenty minutes is far beyond any copy that will still end. Writing the
// image to flash before the completion line takes a minute or two on an old switch.
inline constexpr int kTransferWaitPauses = 20 * 60;
inline constexpr int kCompletionWaitPauses = 5 * 60;

// "copy  running-config tftp://<server>/conf_file.txt \r", as the switch expects it.
QString backupCommand(const QString &server);
// "copy tftp://<server>/<image> image\n".
QString downloadCommand(const QString &server, const QString &image);

// Whether any line contains text, in any letter case.
bool answerContains(const QStringList &lines, const QString &text);

// Copies the configuration the switch uploaded to the operator's path: the file there is
// either the whole new copy or, when anything fails, left as it was. Returns an empty text on
// success, otherwise why it failed.
QString copyBackup(const QString &uploaded, const QString &target);
// The same for a configuration already in memory.
QString saveBackup(const QByteArray &bytes, const QString &target);
