#pragma once

#include <QString>
#include <QStringList>

// Texts from the switch reach the operator's terminal: the switch prints its own escape
// sequences (the prompt's "[K", colours, cursor moves), which would move or recolour what the
// display draws. Removes every escape sequence (CSI, OSC and the other ESC forms, their 8-bit
// C1 forms too) and every control character but the tab (made a blank) and the line ends.
QString withoutEscapes(const QString &text);

// The lines of a text for display, without escapes, trimmed, blank ones dropped; "\r\n",
// "\n\r", "\n" and "\r" all end a line.
QStringList displayLines(const QString &text);

// The text's display lines, each broken at blanks into lines of at most width characters
// where it can be (a longer word stays whole).
QStringList wrappedLines(const QString &text, int width);

// "512 B", "12.3 KiB", "3.34 MiB".
QString byteText(qint64 bytes);
// "1.20 MiB/s".
QString rateText(double bytesPerSecond);
// Elapsed time on the display's clock: " 0:07", "12:34", "1:02:03".
QString clockText(qint64 ms);
