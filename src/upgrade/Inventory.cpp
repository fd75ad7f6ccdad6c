#include "upgrade/Inventory.h"

#include "platform/Exceptions.h"
#include "platform/TextLines.h"

QString ParseShowStack(const QStringList &received)
{
    const QString whole = Platform::linesText(received);
    if (whole.size() <= 20)
        throw Exception(QStringLiteral("got no reply from telnet terminal - show stack application will terminte"));
    if (whole.contains(QStringLiteral("% Unrecognized command")))
        return {};

    int unit = -1;
    for (const QString &line : received) {
        if (!line.contains(QStringLiteral("master")))
            continue;
        // The master's number stands just before the line's first blank.
        const qsizetype blank = line.indexOf(u' ');
        const QChar digit = blank > 0 ? line[blank - 1] : line.isEmpty() ? QChar() : line[0];
        unit = digit.isDigit() && digit.unicode() < 128 ? digit.digitValue() : -1;
        break;
    }
    if (unit != 1 && unit != 2)
        throw Exception(QStringLiteral("Unit nunmber is not 1 or 2 , very wierd ....Application shoud terminate"));
    return QStringLiteral(" unit ") + QString::number(unit);
}
