#pragma once

#include <QString>
#include <QStringList>

// Line lists as the switch's output and the logs use them: the whole text is every line
// followed by CR LF; splitting breaks at CR, LF or CR LF and stops at the first NUL.
namespace Platform {

QString linesText(const QStringList &lines);
QStringList textLines(const QString &text);

// Removes blanks and control characters (everything up to the space) at both ends.
QString trimmedText(const QString &text);

// The command-line prompt a line shows: the switch redraws its prompt after escape, "[",
// "K" (erase the line), with or without a blank after it; without those and trimmed.
QString promptText(const QString &line);

} // namespace Platform
