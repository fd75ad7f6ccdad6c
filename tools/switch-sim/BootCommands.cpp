#include "CliSession.h"
#include "CommandTable.h"
#include "Device.h"

namespace {

const QByteArray kShuttingDown = QByteArrayLiteral("Shutting down ...\r\n");

bool yes(const QByteArray &answer)
{
    return answer == "Y" || answer == "y";
}

void bootSystem(CliSession &session, const QByteArray &arguments)
{
    Device &device = session.device();
    const int slot = arguments == "image-1" ? 1 : arguments == "image-2" ? 2 : 0;
    if (slot == 0 || (slot == 2 && device.scenario().oneImage)) {
        session.print(QByteArrayLiteral("% Invalid input detected\r\n\r\n"));
        session.printPrompt();
        return;
    }
    device.selectNextSlot(slot);
    session.printPrompt();
}

// Two questions, each confirmed by a line "Y"; anything else keeps the switch running.
void reload(CliSession &session, const QByteArray &arguments)
{
    if (!arguments.isEmpty()) {
        session.print(QByteArrayLiteral("% Invalid input detected\r\n\r\n"));
        session.printPrompt();
        return;
    }
    session.ask(QByteArrayLiteral("This command will reset the whole system and disconnect your current session. "
                                  "Do you want to continue ? (Y/N)[N] "),
                [&session](const QByteArray &first) {
                    if (!yes(first))
                        return session.printPrompt();
                    session.ask(QByteArrayLiteral("Are you sure you want to reload the system ? (Y/N)[N] "),
                                [&session](const QByteArray &second) {
                                    if (!yes(second))
                                        return session.printPrompt();
                                    session.print(kShuttingDown);
                                    session.hold();
                                    session.device().requestReset(QStringLiteral("reload"));
                                });
                });
}

// A stack resets all its units at once, without asking.
void stackReload(CliSession &session, const QByteArray &arguments)
{
    if (!session.device().scenario().isStack() || !arguments.isEmpty()) {
        session.print(QByteArrayLiteral("% Unrecognized command\r\n\r\n"));
        session.printPrompt();
        return;
    }
    session.print(kShuttingDown);
    session.hold();
    session.device().requestReset(QStringLiteral("stack reload"));
}

} // namespace

void addBootCommands(CommandTable &table)
{
    using Level = CommandTable::Level;
    table.add(CliMode::Exec, QByteArrayLiteral("boot system"), bootSystem, Level::Privileged);
    table.add(CliMode::Exec, QByteArrayLiteral("reload"), reload, Level::Privileged);
    table.add(CliMode::Exec, QByteArrayLiteral("stack reload"), stackReload, Level::Privileged);
}
