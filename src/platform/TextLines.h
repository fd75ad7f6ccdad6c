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

// The switch's output as an operator reads it: the terminal escape sequences that colour and
// redraw it are removed (CSI: escape, "[", parameters, one final character; OSC and the other
// control strings: escape and "]", "P", "X", "^" or "_", up to BEL or escape with a backslash;
// and escape with the character after it, intermediates from " " to "/" included), and any
// other control character is spelt out as the TFTP log spells it, BEL as "\x07". Line
// breaks (CR, LF) and tabs stay as they are.
QString terminalDisplayText(const QString &text);

} // namespace Platform
