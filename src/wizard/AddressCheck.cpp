#include "wizard/AddressCheck.h"

namespace {

int digitValue(QChar c, bool hex)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (hex && u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (hex && u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

bool IsValidAddress(const QString &text, QChar separator, int separators, bool hex, int maximum)
{
    const int base = hex ? 16 : 10;
    int separatorCount = 0;
    // Read part by part; a part stops counting once it is above maximum, so long runs of
    // digits cannot overflow.
    qint64 part = 0;
    for (const QChar c : text) {
        if (c == separator) {
            ++separatorCount;
            part = 0;
            continue;
        }
        const int digit = digitValue(c, hex);
        if (digit < 0)
            return false;
        part = part * base + digit;
        if (part > maximum)
            return false;
    }
    if (separators != kAnySeparatorCount && separatorCount != separators)
        return false;
    return text != QStringLiteral("0.0.0.0");
}
