#include "platform/TextLines.h"

namespace Platform {

namespace {

constexpr char16_t kEscape = 0x1b;
constexpr char16_t kBell = 0x07;

bool inRange(QChar c, char16_t first, char16_t last)
{
    return c.unicode() >= first && c.unicode() <= last;
}

// Where the escape sequence that starts with the escape character at text[start] ends (one
// past it). A sequence cut short by a character that cannot belong to it ends before that
// character, which then counts as text; one cut off by the end of the text ends there.
qsizetype escapeSequenceEnd(const QString &text, qsizetype start)
{
    const qsizetype size = text.size();
    qsizetype i = start + 1;
    if (i == size)
        return size;
    const QChar kind = text[i];
    if (kind == u'[') {
        ++i;
        while (i < size && inRange(text[i], 0x20, 0x3f))
            ++i;
        return i < size && inRange(text[i], 0x40, 0x7e) ? i + 1 : i;
    }
    if (kind == u']' || kind == u'P' || kind == u'X' || kind == u'^' || kind == u'_') {
        for (++i; i < size; ++i) {
            if (text[i] == kBell)
                return i + 1;
            // Escape ends the string; with a backslash it is the string's own terminator.
            if (text[i] == kEscape)
                return i + 1 < size && text[i + 1] == u'\\' ? i + 2 : i;
        }
        return size;
    }
    while (i < size && inRange(text[i], 0x20, 0x2f))
        ++i;
    return i < size && inRange(text[i], 0x30, 0x7e) ? i + 1 : i;
}

} // namespace

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

QString terminalDisplayText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c == kEscape) {
            i = escapeSequenceEnd(text, i);
            continue;
        }
        if (c.category() == QChar::Other_Control && c != u'\r' && c != u'\n' && c != u'\t')
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
        ++i;
    }
    return shown;
}

} // namespace Platform
