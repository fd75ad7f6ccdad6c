#include "CliSession.h"
#include "CommandTable.h"
#include "Device.h"

namespace {

QByteArray latin1(const QString &text)
{
    return text.toLatin1();
}

// "unit N" after a show command names a unit of the stack; anything else is refused.
bool acceptUnit(CliSession &session, const QByteArray &arguments)
{
    const Scenario &scenario = session.device().scenario();
    if (arguments.isEmpty())
        return true;
    const QList<QByteArray> words = arguments.split(' ');
    bool ok = false;
    const int unit = words.size() == 2 && words[0] == "unit" ? words[1].toInt(&ok) : 0;
    if (ok && scenario.isStack() && unit >= 1 && unit <= scenario.stackUnits)
        return true;
    session.print(QByteArrayLiteral("% Invalid input detected\r\n\r\n"));
    session.printPrompt();
    return false;
}

void answer(CliSession &session, const QByteArray &output)
{
    session.print(output + "\r\n");
    session.printPrompt();
}

QByteArray keyValue(const char *key, const QByteArray &value)
{
    return QByteArray(key).leftJustified(42, ' ') + value + "\r\n";
}

void showStack(CliSession &session, const QByteArray &)
{
    const Scenario &scenario = session.device().scenario();
    if (!scenario.isStack()) {
        answer(session, QByteArrayLiteral("% Unrecognized command\r\n"));
        return;
    }
    QByteArray table = QByteArrayLiteral("Unit  MAC Address        Software  Role\r\n"
                                         "----  -----------------  --------  ------\r\n");
    for (int unit = 1; unit <= scenario.stackUnits; ++unit) {
        table += QByteArray::number(unit) + "     00:1b:21:00:00:0" + QByteArray::number(unit) + "  "
            + latin1(scenario.softwareVersion) + "  " + (unit == scenario.stackMaster ? "master" : "member") + "\r\n";
    }
    answer(session, table);
}

void showSystem(CliSession &session, const QByteArray &arguments)
{
    if (!acceptUnit(session, arguments))
        return;
    const Device &device = session.device();
    const Scenario &scenario = device.scenario();
    answer(session, keyValue("System Description:", device.description())
                        + keyValue("System Up Time (days,hour:min:sec):", "00,01:23:45")
                        + keyValue("System Contact:", device.contact)
                        + keyValue("System Name:", device.systemName)
                        + keyValue("System Location:", device.location)
                        + keyValue("System MAC Address:", latin1(scenario.macAddress))
                        + keyValue("System Object ID:", latin1(scenario.objectId))
                        + keyValue("Type:", latin1(scenario.typeName)));
}

QByteArray versionWithDate(const Scenario &scenario)
{
    return latin1(scenario.softwareVersion) + " ( date  " + latin1(scenario.softwareDate) + " time  "
        + latin1(scenario.softwareTime) + " )";
}

// Without a unit, a stack lists every unit in a table; with one (or on a standalone
// device), the versions come as key and value lines.
void showVersion(CliSession &session, const QByteArray &arguments)
{
    if (!acceptUnit(session, arguments))
        return;
    const Scenario &scenario = session.device().scenario();
    if (scenario.isStack() && arguments.isEmpty()) {
        QByteArray table = QByteArrayLiteral("Unit  SW version   Boot version  HW version\r\n"
                                             "----- ------------ ------------- ------------\r\n");
        for (int unit = 1; unit <= scenario.stackUnits; ++unit)
            table += " " + QByteArray::number(unit) + "    " + latin1(scenario.softwareVersion).leftJustified(13, ' ')
                + "1.0.0.12      00.00.02\r\n";
        answer(session, table);
        return;
    }
    answer(session, keyValue("SW version", versionWithDate(scenario))
                        + keyValue("Boot version", "1.0.0.12 ( date  03-Jan-2008 time  15:12:20 )")
                        + keyValue("HW version", "00.00.02"));
}

void showBootvar(CliSession &session, const QByteArray &arguments)
{
    if (!acceptUnit(session, arguments))
        return;
    const Scenario &scenario = session.device().scenario();
    if (scenario.oneImage) {
        answer(session, QByteArrayLiteral("Image  Version   Date\r\n") + latin1(scenario.softwareVersion) + "  "
                            + latin1(scenario.softwareDate) + "\r\n");
        return;
    }
    QByteArray output;
    for (int slot = 1; slot <= 2; ++slot) {
        QByteArray marks = slot == scenario.activeImage ? "active" : "not active";
        if (slot == scenario.nextImage)
            marks += ", selected for next boot";
        output += "image-" + QByteArray::number(slot) + " : " + marks + "\r\n";
    }
    answer(session, output);
}

} // namespace

void addShowCommands(CommandTable &table)
{
    table.add(QByteArrayLiteral("show stack"), showStack);
    table.add(QByteArrayLiteral("show system"), showSystem);
    table.add(QByteArrayLiteral("show version"), showVersion);
    table.add(QByteArrayLiteral("show bootvar"), showBootvar);
}
