#include "upgrade/ShowParsers.h"

#include "platform/Exceptions.h"
#include "platform/TextLines.h"

namespace {

bool valueOf(const QString &line, const QString &key, QString &value)
{
    const QString trimmed = Platform::trimmedText(line);
    if (!trimmed.startsWith(key, Qt::CaseInsensitive))
        return false;
    QString rest = Platform::trimmedText(trimmed.mid(key.size()));
    if (rest.startsWith(u':'))
        rest.remove(0, 1);
    value = Platform::trimmedText(rest);
    return true;
}

// The number at the start of a boot-variable value: its first character, extended by the
// digits that follow; -1 when that is not a number.
int leadingNumber(const QString &value)
{
    qsizetype k = 1;
    while (k < value.size() && value[k].isDigit())
        ++k;
    bool ok = false;
    const int number = value.left(k).toInt(&ok);
    return ok ? number : -1;
}

} // namespace

QString FindValue(const QStringList &lines, const QString &key)
{
    QString result;
    QString value;
    for (const QString &line : lines) {
        if (valueOf(line, key, value))
            result = value;
    }
    return result;
}

QStringList FindValues(const QStringList &lines, const QStringList &keys)
{
    QStringList values;
    for (const QString &key : keys)
        values << FindValue(lines, key);
    return values;
}

QStringList FindAllValues(const QStringList &lines, const QString &key)
{
    QStringList values;
    QString value;
    for (const QString &line : lines) {
        if (valueOf(line, key, value))
            values << value;
    }
    return values;
}

TShowSystem ParseShowSystem(const QStringList &lines)
{
    const QStringList values = FindValues(lines, {QStringLiteral("Type:"), QStringLiteral("System Object ID:"),
                                                  QStringLiteral("System Name:"), QStringLiteral("System Location:"),
                                                  QStringLiteral("System Contact:"), QStringLiteral("System MAC Address:")});
    return {values[0], values[1], values[2], values[3], values[4], values[5]};
}

TVersion ParseVersion(const QStringList &lines, const QString &key)
{
    const QString s = FindValue(lines, key);
    TVersion result;
    const qsizetype bracket = s.indexOf(u'(');
    if (bracket >= 0)
        result.Version = Platform::trimmedText(s.left(bracket));
    const qsizetype date = s.indexOf(QStringLiteral("date"));
    if (date >= 0) {
        result.Date = Platform::trimmedText(s.mid(date + 4));
        const qsizetype time = result.Date.indexOf(QStringLiteral("time"));
        if (time >= 0)
            result.Date = Platform::trimmedText(result.Date.left(time));
    }
    return result;
}

TBootVar ParseBootVar(const QStringList &lines)
{
    TBootVar result;
    for (const QString &value : FindAllValues(lines, QStringLiteral("image-"))) {
        if (value.isEmpty())
            continue;
        const int number = leadingNumber(value);
        if (value.contains(QStringLiteral("active")) && !value.contains(QStringLiteral("not active")))
            result.Active = number;
        if (value.contains(QStringLiteral("selected for next boot")))
            result.Next = number;
    }
    return result;
}

QList<TUnitVersion> parseUnitVersions(const QStringList &lines)
{
    QList<TUnitVersion> units;
    for (const QString &line : lines) {
        const QStringList words = Platform::trimmedText(line).split(u' ', Qt::SkipEmptyParts);
        bool ok = false;
        const int unit = words.size() >= 2 ? words[0].toInt(&ok) : 0;
        if (ok && unit > 0)
            units.append({unit, words[1]});
    }
    return units;
}

QString parseShowStack(const QStringList &received)
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
