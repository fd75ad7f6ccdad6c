#include "CliSession.h"
#include "CommandTable.h"
#include "Device.h"

namespace {

QByteArray stackTable(const Scenario &scenario)
{
    QByteArray table = QByteArrayLiteral("Unit  MAC Address        Software  Role\r\n"
                                         "----  -----------------  --------  ------\r\n");
    for (int unit = 1; unit <= scenario.stackUnits; ++unit) {
        table += QByteArray::number(unit) + "     00:1b:21:00:00:0" + QByteArray::number(unit)
            + "  3.0.0.43  " + (unit == scenario.stackMaster ? "master" : "member") + "\r\n";
    }
    return table;
}

void showStack(CliSession &session, const QByteArray &)
{
    const Scenario &scenario = session.device().scenario();
    session.print(scenario.isStack() ? stackTable(scenario) : QByteArrayLiteral("% Unrecognized command\r\n"));
    session.print(QByteArrayLiteral("\r\n"));
    session.printPrompt();
}

} // namespace

void addShowCommands(CommandTable &table)
{
    table.add(QByteArrayLiteral("show stack"), showStack);
}
