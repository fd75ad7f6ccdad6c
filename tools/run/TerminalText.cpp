#include "TerminalText.h"

#include <QRegularExpression>

namespace {

constexpr char16_t kEscape = 0x1b;
constexpr char16_t kBell = 0x07;
// The 8-bit forms of ESC [ and ESC ], and the string introducers DCS, SOS, PM, APC.
constexpr char16_t kCsi8 = 0x9b;
constexpr char16_t kOsc8 = 0x9d;

bool isC1(char16_t c)
{
    return c >= 0x80 && c <= 0x9f;
}

// Skips a control sequence's parameters and intermediates and its final byte; returns the
// index after it. A malformed sequence ends at the byte that breaks it, which the caller
// then judges on its own.
qsizetype skipCsi(const QString &text, qsizetype i)
{
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x40 && c <= 0x7e)
            return i + 1;
        if (c < 0x20 || c > 0x3f)
            return i;
    }
    return i;
}

// Skips a string (OSC, DCS, SOS, PM, APC) up to its terminator: BEL, ESC \ or the 8-bit ST.
qsizetype skipString(const QString &text, qsizetype i)
{
    while (i < text.size()) {
        const char16_t c = text[i].unicode();
        if (c == kBell || c == 0x9c)
            return i + 1;
        if (c == kEscape)
            return i + 1 < text.size() && text[i + 1] == u'\\' ? i + 2 : i;
        ++i;
    }
    return i;
}

} // namespace

QString withoutEscapes(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text[i].unicode();
        if (c == kEscape) {
            if (i + 1 >= text.size()) {
                ++i;
                continue;
            }
            const char16_t next = text[i + 1].unicode();
            if (next == u'[')
                i = skipCsi(text, i + 2);
            else if (next == u']' || next == u'P' || next == u'X' || next == u'^' || next == u'_')
                i = skipString(text, i + 2);
            else
                i += 2;
            continue;
        }
        if (c == kCsi8) {
            i = skipCsi(text, i + 1);
            continue;
        }
        if (c == kOsc8 || c == 0x90 || c == 0x98 || c == 0x9e || c == 0x9f) {
            i = skipString(text, i + 1);
            continue;
        }
        ++i;
        if (c == u'\t')
            clean += u' ';
        else if (c == u'\n' || c == u'\r')
            clean += QChar(c);
        else if (c >= 0x20 && c != 0x7f && !isC1(c))
            clean += QChar(c);
    }
    return clean;
}

QStringList displayLines(const QString &text)
{
    static const QRegularExpression lineEnds(QStringLiteral("[\r\n]+"));
    QStringList lines;
    for (const QString &line : withoutEscapes(text).split(lineEnds)) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines << trimmed;
    }
    return lines;
}

QStringList wrappedLines(const QString &text, int width)
{
    QStringList wrapped;
    for (const QString &line : displayLines(text)) {
        QString current;
        for (const QString &word : line.split(u' ', Qt::SkipEmptyParts)) {
            if (!current.isEmpty() && current.size() + 1 + word.size() > width) {
                wrapped << current;
                current.clear();
            }
            current += (current.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        wrapped << current;
    }
    return wrapped;
}

QString byteText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KiB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 2);
}

QString rateText(double bytesPerSecond)
{
    return byteText(qint64(bytesPerSecond)) + QStringLiteral("/s");
}

QString clockText(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    if (seconds < 3600)
        return QStringLiteral("%1:%2").arg(seconds / 60, 2).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
