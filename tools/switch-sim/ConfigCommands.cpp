#include "CliSession.h"
#include "CommandTable.h"
#include "Device.h"

#include <QRegularExpression>

namespace {

void refuse(CliSession &session)
{
    session.print(QByteArrayLiteral("% Invalid input detected\r\n\r\n"));
    session.printPrompt();
}

bool isDotted(const QByteArray &text)
{
    static const QRegularExpression dotted(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch match = dotted.match(QString::fromLatin1(text));
    if (!match.hasMatch())
        return false;
    for (int octet = 1; octet <= 4; ++octet) {
        if (match.captured(octet).toInt() > 255)
            return false;
    }
    return true;
}

// Applies a change to the running configuration and ends the command with the prompt alone.
template<class Change>
void change(CliSession &session, Change apply)
{
    apply(session.device().running());
    session.device().configurationChanged();
    session.printPrompt();
}

void configure(CliSession &session, const QByteArray &arguments)
{
    if (!arguments.isEmpty())
        return refuse(session);
    session.setMode(CliMode::Config);
    session.printPrompt();
}

// One level out; out of the privileged command line, the end of the session.
void leaveMode(CliSession &session, const QByteArray &arguments)
{
    if (!arguments.isEmpty())
        return refuse(session);
    switch (session.mode()) {
    case CliMode::Exec:
        session.end();
        return;
    case CliMode::Config:
        session.setMode(CliMode::Exec);
        break;
    case CliMode::Interface:
        session.setMode(CliMode::Config);
        break;
    }
    session.printPrompt();
}

// The management VLAN is the only one with an interface.
void interfaceVlan(CliSession &session, const QByteArray &arguments)
{
    if (arguments != "100")
        return refuse(session);
    session.setMode(CliMode::Interface);
    session.printPrompt();
}

void community(CliSession &session, const QByteArray &arguments)
{
    const QList<QByteArray> words = arguments.simplified().split(' ');
    if (words.size() != 2 || !QList<QByteArray>{"ro", "rw", "su"}.contains(words[1]))
        return refuse(session);
    change(session, [&](Configuration &c) { c.communities.insert(words[0], words[1]); });
}

void contact(CliSession &session, const QByteArray &arguments)
{
    if (arguments.isEmpty())
        return refuse(session);
    change(session, [&](Configuration &c) { c.contact = arguments; });
}

void location(CliSession &session, const QByteArray &arguments)
{
    if (arguments.isEmpty())
        return refuse(session);
    change(session, [&](Configuration &c) { c.location = arguments; });
}

void loggingConsole(CliSession &session, const QByteArray &arguments)
{
    static const QList<QByteArray> severities{"emergencies", "alerts",        "critical",      "errors",
                                              "warnings",    "notifications", "informational", "debugging"};
    if (!severities.contains(arguments))
        return refuse(session);
    change(session, [&](Configuration &c) { c.consoleLogging = arguments; });
}

// "A.B.C.D/N", with blanks allowed around the "/".
void ipAddress(CliSession &session, const QByteArray &arguments)
{
    QByteArray address = arguments;
    address.replace(' ', QByteArray());
    const QList<QByteArray> parts = address.split('/');
    bool ok = false;
    const int length = parts.size() == 2 ? parts[1].toInt(&ok) : -1;
    if (!ok || length < 1 || length > 32 || !isDotted(parts[0]))
        return refuse(session);
    change(session, [&](Configuration &c) { c.address = address; });
}

void defaultGateway(CliSession &session, const QByteArray &arguments)
{
    if (!isDotted(arguments))
        return refuse(session);
    change(session, [&](Configuration &c) { c.gateway = arguments; });
}

} // namespace

void addConfigCommands(CommandTable &table)
{
    using Level = CommandTable::Level;
    table.add(CliMode::Exec, QByteArrayLiteral("configure"), configure, Level::Privileged);
    for (const CliMode mode : {CliMode::Exec, CliMode::Config, CliMode::Interface})
        table.add(mode, QByteArrayLiteral("exit"), leaveMode);
    table.add(CliMode::Config, QByteArrayLiteral("interface vlan"), interfaceVlan);
    table.add(CliMode::Config, QByteArrayLiteral("snmp-server community"), community);
    table.add(CliMode::Config, QByteArrayLiteral("snmp-server contact"), contact);
    table.add(CliMode::Config, QByteArrayLiteral("snmp-server location"), location);
    table.add(CliMode::Config, QByteArrayLiteral("logging console"), loggingConsole);
    table.add(CliMode::Config, QByteArrayLiteral("ip default-gateway"), defaultGateway);
    table.add(CliMode::Interface, QByteArrayLiteral("ip address"), ipAddress);
}
