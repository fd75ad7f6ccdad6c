#include "platform/TextLines.h"

namespace Platform {

QString linesText(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

QStringList textLines(const QString &text)
{
    QStringList lines;
    const qsizetype end = text.indexOf(QChar(0)) < 0 ? text.size() : text.indexOf(QChar(0));
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < end) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            ++i;
            continue;
        }
        lines << text.mid(start, i - start);
        // Only CR followed by LF is one break; LF followed by CR counts as two.
        i += (c == u'\r' && i + 1 < end && text[i + 1] == u'\n') ? 2 : 1;
        start = i;
    }
    if (start < end)
        lines << text.mid(start, end - start);
    return lines;
}

QString trimmedText(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= ' ')
        ++first;
    while (last > first && text[last - 1].unicode() <= ' ')
        --last;
    return text.mid(first, last - first);
}

QString promptText(const QString &line)
{
    const QString eraseLine = QStringLiteral("\x1b[K");
    return trimmedText(line.startsWith(eraseLine) ? line.mid(eraseLine.size()) : line);
}

} // namespace Platform
