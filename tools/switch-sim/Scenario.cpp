#include "Scenario.h"

#include <QCommandLineParser>

namespace {

bool toInt(const QString &text, int minimum, int maximum, int &value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < minimum || number > maximum)
        return false;
    value = number;
    return true;
}

} // namespace

bool parseScenario(const QStringList &arguments, Scenario &scenario, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays a managed switch on a loopback address."));
    parser.addHelpOption();
    const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("Loopback address to serve on."), QStringLiteral("ip"), scenario.address.toString());
    const QCommandLineOption telnetPort(QStringLiteral("telnet-port"), QStringLiteral("Telnet port (0: any free port)."), QStringLiteral("port"), QString::number(scenario.telnetPort));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name of the log-in forms."), QStringLiteral("name"), scenario.userName);
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Password of the log-in forms."), QStringLiteral("text"), scenario.password);
    const QCommandLineOption hostName(QStringLiteral("hostname"), QStringLiteral("Name shown in the prompt."), QStringLiteral("name"), scenario.hostName);
    const QCommandLineOption stackMaster(QStringLiteral("stack-master"), QStringLiteral("Play a stack whose master is this unit (0: standalone)."), QStringLiteral("unit"), QStringLiteral("0"));
    const QCommandLineOption stackUnits(QStringLiteral("stack-units"), QStringLiteral("Number of units in the stack."), QStringLiteral("count"), QString::number(scenario.stackUnits));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Accept connections but never answer."));
    const QCommandLineOption dropAfter(QStringLiteral("drop-at-command"), QStringLiteral("Close the connection, unanswered, when the Nth command of the line-mode interface arrives."), QStringLiteral("n"));
    const QCommandLineOption transcript(QStringLiteral("transcript"), QStringLiteral("Append every received byte to this file."), QStringLiteral("file"));
    const QCommandLineOption typeName(QStringLiteral("type"), QStringLiteral("Device type shown by \"show system\"."), QStringLiteral("text"), scenario.typeName);
    const QCommandLineOption objectId(QStringLiteral("object-id"), QStringLiteral("System object identifier (the model)."), QStringLiteral("oid"), scenario.objectId);
    const QCommandLineOption systemName(QStringLiteral("system-name"), QStringLiteral("System name."), QStringLiteral("text"), scenario.systemName);
    const QCommandLineOption location(QStringLiteral("location"), QStringLiteral("System location at start."), QStringLiteral("text"), scenario.location);
    const QCommandLineOption contact(QStringLiteral("contact"), QStringLiteral("System contact at start."), QStringLiteral("text"), scenario.contact);
    const QCommandLineOption macAddress(QStringLiteral("mac"), QStringLiteral("System MAC address."), QStringLiteral("mac"), scenario.macAddress);
    const QCommandLineOption softwareVersion(QStringLiteral("sw-version"), QStringLiteral("Running software version."), QStringLiteral("text"), scenario.softwareVersion);
    const QCommandLineOption softwareDate(QStringLiteral("sw-date"), QStringLiteral("Date of the running software."), QStringLiteral("text"), scenario.softwareDate);
    const QCommandLineOption softwareTime(QStringLiteral("sw-time"), QStringLiteral("Time of the running software."), QStringLiteral("text"), scenario.softwareTime);
    const QCommandLineOption activeImage(QStringLiteral("active-image"), QStringLiteral("Image slot that runs (1 or 2)."), QStringLiteral("slot"), QString::number(scenario.activeImage));
    const QCommandLineOption nextImage(QStringLiteral("next-image"), QStringLiteral("Image slot selected for the next boot (1 or 2)."), QStringLiteral("slot"), QString::number(scenario.nextImage));
    const QCommandLineOption oneImage(QStringLiteral("one-image"), QStringLiteral("Play a device with a single image slot."));
    const QCommandLineOption mute(QStringLiteral("mute"), QStringLiteral("Answer this command with the prompt alone (repeatable)."), QStringLiteral("command"));
    const QCommandLineOption snmpPort(QStringLiteral("snmp-port"), QStringLiteral("SNMP port (0: any free port)."), QStringLiteral("port"), QString::number(scenario.snmpPort));
    const QCommandLineOption snmpSilent(QStringLiteral("snmp-silent"), QStringLiteral("Read SNMP requests but never answer."));
    parser.addOption(snmpPort);
    parser.addOption(snmpSilent);
    parser.addOptions({address, telnetPort, user, password, hostName, typeName, objectId, systemName, location, contact,
                       macAddress, softwareVersion, softwareDate, softwareTime, activeImage, nextImage, oneImage, mute,
                       stackMaster, stackUnits, silent, dropAfter, transcript});

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        error = parser.helpText();
        return false;
    }

    scenario.address = QHostAddress(parser.value(address));
    if (scenario.address.protocol() != QAbstractSocket::IPv4Protocol || !scenario.address.isLoopback()) {
        error = QStringLiteral("refusing %1: the simulated switch serves only 127.0.0.0/8").arg(parser.value(address));
        return false;
    }
    int number = 0;
    if (!toInt(parser.value(telnetPort), 0, 65535, number)) {
        error = QStringLiteral("bad --telnet-port");
        return false;
    }
    scenario.telnetPort = quint16(number);
    if (!toInt(parser.value(snmpPort), 0, 65535, number)) {
        error = QStringLiteral("bad --snmp-port");
        return false;
    }
    scenario.snmpPort = quint16(number);
    scenario.snmpSilent = parser.isSet(snmpSilent);
    scenario.userName = parser.value(user);
    scenario.password = parser.value(password);
    scenario.hostName = parser.value(hostName);
    scenario.typeName = parser.value(typeName);
    scenario.objectId = parser.value(objectId);
    scenario.systemName = parser.value(systemName);
    scenario.location = parser.value(location);
    scenario.contact = parser.value(contact);
    scenario.macAddress = parser.value(macAddress);
    scenario.softwareVersion = parser.value(softwareVersion);
    scenario.softwareDate = parser.value(softwareDate);
    scenario.softwareTime = parser.value(softwareTime);
    if (!toInt(parser.value(activeImage), 1, 2, scenario.activeImage) || !toInt(parser.value(nextImage), 1, 2, scenario.nextImage)) {
        error = QStringLiteral("bad --active-image or --next-image");
        return false;
    }
    scenario.oneImage = parser.isSet(oneImage);
    scenario.mutedCommands = parser.values(mute);
    if (!toInt(parser.value(stackMaster), 0, 8, scenario.stackMaster)
        || !toInt(parser.value(stackUnits), 1, 8, scenario.stackUnits)) {
        error = QStringLiteral("bad --stack-master or --stack-units");
        return false;
    }
    scenario.silent = parser.isSet(silent);
    if (parser.isSet(dropAfter) && !toInt(parser.value(dropAfter), 1, 1000000, scenario.dropAtCommand)) {
        error = QStringLiteral("bad --drop-at-command");
        return false;
    }
    scenario.transcriptPath = parser.value(transcript);
    return true;
}
