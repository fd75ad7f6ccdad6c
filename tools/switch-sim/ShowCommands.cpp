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
            + latin1(session.device().runningVersion()) + "  " + (unit == scenario.stackMaster ? "master" : "member") + "\r\n";
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
                        + keyValue("System Contact:", device.running().contact)
                        + keyValue("System Name:", device.running().systemName)
                        + keyValue("System Location:", device.running().location)
                        + keyValue("System MAC Address:", latin1(scenario.macAddress))
                        + keyValue("System Object ID:", latin1(scenario.objectId))
                        + keyValue("Type:", latin1(scenario.typeName)));
}

QByteArray versionWithDate(const Device &device)
{
    const Scenario &scenario = device.scenario();
    return latin1(device.runningVersion()) + " ( date  " + latin1(scenario.softwareDate) + " time  "
        + latin1(scenario.softwareTime) + " )";
}

// Without a unit, a stack lists every unit in a table; with one (or on a standalone
// device), the versions come as key and value lines.
void showVersion(CliSession &session, const QByteArray &arguments)
{
    if (!acceptUnit(session, arguments))
        return;
    const Device &device = session.device();
    const Scenario &scenario = device.scenario();
    if (scenario.isStack() && arguments.isEmpty()) {
        QByteArray table = QByteArrayLiteral("Unit  SW version   Boot version  HW version\r\n"
                                             "----- ------------ ------------- ------------\r\n");
        for (int unit = 1; unit <= scenario.stackUnits; ++unit)
            table += " " + QByteArray::number(unit) + "    " + latin1(device.runningVersion()).leftJustified(13, ' ')
                + "1.0.0.12      00.00.02\r\n";
        answer(session, table);
        return;
    }
    answer(session, keyValue("SW version", versionWithDate(device))
                        + keyValue("Boot version", "1.0.0.12 ( date  03-Jan-2008 time  15:12:20 )")
                        + keyValue("HW version", "00.00.02"));
}

void showBootvar(CliSession &session, const QByteArray &arguments)
{
    if (!acceptUnit(session, arguments))
        return;
    const Device &device = session.device();
    const Scenario &scenario = device.scenario();
    if (scenario.oneImage) {
        answer(session, QByteArrayLiteral("Image  Version   Date\r\n") + latin1(device.runningVersion()) + "  "
                            + latin1(scenario.softwareDate) + "\r\n");
        return;
    }
    QByteArray output;
    for (int slot = 1; slot <= 2; ++slot) {
        QByteArray marks = slot == device.activeSlot() ? "active" : "not active";
        if (slot == device.nextSlot())
            marks += ", selected for next boot";
        output += "image-" + QByteArray::number(slot) + " : " + marks + "\r\n";
    }
    answer(session, output);
}

// The default gateway table, then the interface address table, each under a dashed line
// with a row per entry, columns wide enough that three blanks always end the first one.
void showIpInterface(CliSession &session, const QByteArray &arguments)
{
    if (!arguments.isEmpty()) {
        answer(session, QByteArrayLiteral("% Invalid input detected\r\n"));
        return;
    }
    const Device &device = session.device();
    QByteArray output = QByteArrayLiteral("\r\n"
                                          " Gateway IP Address   Activity status   Type\r\n"
                                          "-------------------- ----------------- -------\r\n");
    const AddressRow gateway = device.gatewayRow();
    if (gateway.kind != AddressRow::Kind::None)
        output += latin1(gateway.address).leftJustified(21, ' ') + "active            "
            + (gateway.kind == AddressRow::Kind::Dhcp ? "dhcp" : "static") + "\r\n";
    output += QByteArrayLiteral("\r\n"
                                "      IP Address       I/F         Type     Directed Broadcast\r\n"
                                "-------------------- ----------- -------- ------------------\r\n");
    const AddressRow address = device.interfaceRow();
    if (address.kind != AddressRow::Kind::None)
        output += latin1(address.address).leftJustified(21, ' ') + "vlan 100    "
            + (address.kind == AddressRow::Kind::Dhcp ? "DHCP     " : "Static   ") + "disable\r\n";
    answer(session, output);
}

} // namespace

void addShowCommands(CommandTable &table)
{
    table.add(CliMode::Exec, QByteArrayLiteral("show stack"), showStack);
    table.add(CliMode::Exec, QByteArrayLiteral("show system"), showSystem);
    table.add(CliMode::Exec, QByteArrayLiteral("show version"), showVersion);
    table.add(CliMode::Exec, QByteArrayLiteral("show bootvar"), showBootvar);
    table.add(CliMode::Exec, QByteArrayLiteral("show ip interface"), showIpInterface);
}
