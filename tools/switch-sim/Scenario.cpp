#include "Scenario.h"

#include <QCommandLineParser>
#include <QRegularExpression>

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

bool toPort(const QString &text, quint16 &port)
{
    int number = 0;
    if (!toInt(text, 0, 65535, number))
        return false;
    port = quint16(number);
    return true;
}

// "dhcp:A.B.C.D/N", "static:A.B.C.D/N" or "none"; the gateway has no prefix length.
bool toAddressRow(const QString &text, bool withPrefix, AddressRow &row)
{
    if (text == QStringLiteral("none")) {
        row = {};
        return true;
    }
    static const QRegularExpression form(QStringLiteral("^(dhcp|static):((\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})(/(\\d{1,2}))?)$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch() || match.hasCaptured(7) != withPrefix || (withPrefix && match.captured(8).toInt() > 32))
        return false;
    for (int octet = 3; octet <= 6; ++octet) {
        if (match.captured(octet).toInt() > 255)
            return false;
    }
    row.kind = match.captured(1) == QStringLiteral("dhcp") ? AddressRow::Kind::Dhcp : AddressRow::Kind::Static;
    row.address = match.captured(2);
    return true;
}

// "[config:|image:]KIND" with KIND one of the copy faults; abort-after takes a byte count.
bool toCopyFault(const QString &text, CopyFault &fault)
{
    QString kind = text;
    if (kind.startsWith(QStringLiteral("config:"))) {
        fault.target = CopyTarget::Config;
        kind = kind.mid(7);
    } else if (kind.startsWith(QStringLiteral("image:"))) {
        fault.target = CopyTarget::Image;
        kind = kind.mid(6);
    }
    const QString abortAfter = QStringLiteral("abort-after=");
    if (kind.startsWith(abortAfter)) {
        bool ok = false;
        fault.kind = CopyFaultKind::AbortAfter;
        fault.bytes = kind.mid(abortAfter.size()).toLongLong(&ok);
        return ok && fault.bytes > 0;
    }
    static const QList<std::pair<QString, CopyFaultKind>> kinds{
        {QStringLiteral("occupied"), CopyFaultKind::Occupied},
        {QStringLiteral("never-starts"), CopyFaultKind::NeverStarts},
        {QStringLiteral("never-ends"), CopyFaultKind::NeverEnds},
        {QStringLiteral("drop-telnet"), CopyFaultKind::DropTelnet},
        {QStringLiteral("capital-bytes"), CopyFaultKind::CapitalBytes},
    };
    for (const auto &[name, value] : kinds) {
        if (kind == name) {
            fault.kind = value;
            return true;
        }
    }
    return false;
}

} // namespace

bool parseScenario(const QStringList &arguments, Scenario &scenario, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays a managed switch on a loopback address: telnet command line, SNMP agent, TFTP copies through\n"
        "curl, two image slots, resets and the intermediate image's self-upgrade. Timings are milliseconds."));
    parser.addHelpOption();
    const auto option = [&parser](const QString &name, const QString &description, const QString &value = {},
                                  const QString &defaultValue = {}) {
        const QString described = defaultValue.isEmpty() ? description : description + QStringLiteral(" Default: ") + defaultValue;
        const QCommandLineOption added(name, described, value, defaultValue);
        parser.addOption(added);
        return added;
    };
    const QString n = QStringLiteral("n");
    const QString ms = QStringLiteral("ms");
    const QString text = QStringLiteral("text");

    // Where and who.
    const auto address = option(QStringLiteral("address"), QStringLiteral("Loopback address to serve on."), QStringLiteral("ip"), scenario.address.toString());
    const auto telnetPort = option(QStringLiteral("telnet-port"), QStringLiteral("Telnet port (0: any free port)."), QStringLiteral("port"), QString::number(scenario.telnetPort));
    const auto snmpPort = option(QStringLiteral("snmp-port"), QStringLiteral("SNMP port (0: any free port)."), QStringLiteral("port"), QString::number(scenario.snmpPort));
    const auto tftpPort = option(QStringLiteral("tftp-port"), QStringLiteral("Port of the PC's TFTP server that copies and the self-upgrade use."), QStringLiteral("port"), QString::number(scenario.tftpPort));
    const auto user = option(QStringLiteral("user"), QStringLiteral("User name of the log-in forms."), QStringLiteral("name"), scenario.userName);
    const auto password = option(QStringLiteral("password"), QStringLiteral("Password of the log-in forms."), text, scenario.password);
    const auto privilege = option(QStringLiteral("privilege"), QStringLiteral("The user's privilege level (1 to 15); below 15 the prompt ends in \">\" and copy, configure, boot and reload are unknown."), n, QString::number(scenario.privilege));
    const auto hostName = option(QStringLiteral("hostname"), QStringLiteral("Name shown in the prompt."), QStringLiteral("name"), scenario.hostName);
    const auto barePrompt = option(QStringLiteral("bare-prompt"), QStringLiteral("Print the prompt right after escape, \"[\", \"K\", with no blank after it."));
    const auto colour = option(QStringLiteral("colour"), QStringLiteral("Colour the output with terminal escape sequences: a copy's \"!\" marks and its \"bytes copied in\" line in green; ring the bell (BEL) when a copy's transfer starts."));

    // What the device is.
    const auto typeName = option(QStringLiteral("type"), QStringLiteral("Device type shown by \"show system\"."), text, scenario.typeName);
    const auto objectId = option(QStringLiteral("object-id"), QStringLiteral("System object identifier (the model)."), QStringLiteral("oid"), scenario.objectId);
    const auto systemName = option(QStringLiteral("system-name"), QStringLiteral("System name."), text, scenario.systemName);
    const auto location = option(QStringLiteral("location"), QStringLiteral("System location at start."), text, scenario.location);
    const auto contact = option(QStringLiteral("contact"), QStringLiteral("System contact at start."), text, scenario.contact);
    const auto macAddress = option(QStringLiteral("mac"), QStringLiteral("System MAC address."), QStringLiteral("mac"), scenario.macAddress);
    const auto ipAddress = option(QStringLiteral("ip-address"), QStringLiteral("Interface row of \"show ip interface\": dhcp:A.B.C.D/N, static:A.B.C.D/N or none."), QStringLiteral("row"), QStringLiteral("dhcp:192.0.2.10/24"));
    const auto gateway = option(QStringLiteral("gateway"), QStringLiteral("Default gateway row of \"show ip interface\": dhcp:A.B.C.D, static:A.B.C.D or none."), QStringLiteral("row"), QStringLiteral("dhcp:192.0.2.1"));
    const auto stackMaster = option(QStringLiteral("stack-master"), QStringLiteral("Play a stack whose master is this unit (0: standalone)."), QStringLiteral("unit"), QStringLiteral("0"));
    const auto stackUnits = option(QStringLiteral("stack-units"), QStringLiteral("Number of units in the stack."), QStringLiteral("count"), QString::number(scenario.stackUnits));
    const auto snmpOpen = option(QStringLiteral("snmp-open"), QStringLiteral("The saved configuration already opens the SNMP community \"vemtal\" (otherwise only \"snmp-server community vemtal su\" does)."));

    // Images and versions.
    const auto softwareVersion = option(QStringLiteral("sw-version"), QStringLiteral("Version of the running slot."), text, scenario.softwareVersion);
    const auto otherVersion = option(QStringLiteral("other-version"), QStringLiteral("Version of the other slot."), text, scenario.otherVersion);
    const auto interimVersion = option(QStringLiteral("interim-version"), QStringLiteral("Version an intermediate image reports (must contain \"interim\")."), text, scenario.interimVersion);
    const auto finalVersion = option(QStringLiteral("final-version"), QStringLiteral("Version the final image reports."), text, scenario.finalVersion);
    const auto finalImage = option(QStringLiteral("final-image"), QStringLiteral("File the intermediate image fetches from the PC."), QStringLiteral("name"), scenario.finalImage);
    const auto softwareDate = option(QStringLiteral("sw-date"), QStringLiteral("Date of the software."), text, scenario.softwareDate);
    const auto softwareTime = option(QStringLiteral("sw-time"), QStringLiteral("Time of the software."), text, scenario.softwareTime);
    const auto activeImage = option(QStringLiteral("active-image"), QStringLiteral("Image slot that runs (1 or 2)."), QStringLiteral("slot"), QString::number(scenario.activeImage));
    const auto nextImage = option(QStringLiteral("next-image"), QStringLiteral("Image slot selected for the next boot (1 or 2)."), QStringLiteral("slot"), QString::number(scenario.nextImage));
    const auto oneImage = option(QStringLiteral("one-image"), QStringLiteral("Play a device with a single image slot."));
    const auto payload = option(QStringLiteral("payload"), QStringLiteral("Packed wizard whose payload files received images must equal byte for byte (default: accept any image)."), QStringLiteral("file"));

    // Timings.
    const auto copyStartDelay = option(QStringLiteral("copy-start-delay"), QStringLiteral("From a copy command to the start of its transfer."), ms, QString::number(scenario.copyStartDelay));
    const auto copyTick = option(QStringLiteral("copy-tick"), QStringLiteral("One \"!\" per tick while a transfer runs."), ms, QString::number(scenario.copyTick));
    const auto resetTime = option(QStringLiteral("reset-time"), QStringLiteral("How long a reset keeps the switch away."), ms, QString::number(scenario.resetTime));
    const auto stepInterval = option(QStringLiteral("step-interval"), QStringLiteral("Between two progress reports of the intermediate image."), ms, QString::number(scenario.stepInterval));
    const auto stepReads = option(QStringLiteral("step-reads"), QStringLiteral("Keep each progress report until sysContact has been read this many times, instead of the interval (0: the interval)."), QStringLiteral("reads"), QString::number(scenario.stepReads));

    // Faults.
    const auto mute = option(QStringLiteral("mute"), QStringLiteral("Answer this command with the prompt alone (repeatable)."), QStringLiteral("command"));
    const auto silent = option(QStringLiteral("silent"), QStringLiteral("Accept connections but never answer."));
    const auto dropAfter = option(QStringLiteral("drop-at-command"), QStringLiteral("Close the connection, unanswered, when the Nth command of the line-mode interface arrives."), n);
    const auto snmpSilent = option(QStringLiteral("snmp-silent"), QStringLiteral("Read SNMP requests but never answer."));
    const auto copyFault = option(QStringLiteral("copy-fault"), QStringLiteral(
        "A fault of the file copies (repeatable), optionally only for the config upload or the image download:\n"
        "[config:|image:]occupied|never-starts|never-ends|abort-after=BYTES|drop-telnet|capital-bytes."), QStringLiteral("fault"));
    const auto copyFailureText = option(QStringLiteral("copy-failure-text"), QStringLiteral("The line a failed copy prints."), text, scenario.copyFailureText);
    const auto resetFault = option(QStringLiteral("reset-fault"), QStringLiteral("never-back: a reset never ends; old-image: the switch comes back on the slot it ran."), QStringLiteral("fault"));
    const auto selfUpgradeFault = option(QStringLiteral("self-upgrade-fault"), QStringLiteral(
        "A fault of the intermediate image: never-reports, stops-after=STEP, flickers-after=STEP (then reports that step and a second text of it by turns, for ever), snmp-silent (its SNMP agent never answers), or final-not-written (it reports every step but keeps the intermediate image, and comes back from its last reset on it)."), QStringLiteral("fault"));

    // For tests.
    const auto transcript = option(QStringLiteral("transcript"), QStringLiteral("Append every received byte to this file."), QStringLiteral("file"));
    const auto state = option(QStringLiteral("state"), QStringLiteral("Existing folder where the switch keeps its slot images, start-up configuration and events."), QStringLiteral("dir"));

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        error = parser.helpText();
        return false;
    }
    const auto bad = [&error](const QString &name) {
        error = QStringLiteral("bad --") + name;
        return false;
    };

    scenario.address = QHostAddress(parser.value(address));
    if (scenario.address.protocol() != QAbstractSocket::IPv4Protocol || !scenario.address.isLoopback()) {
        error = QStringLiteral("refusing %1: the simulated switch serves only 127.0.0.0/8").arg(parser.value(address));
        return false;
    }
    if (!toPort(parser.value(telnetPort), scenario.telnetPort))
        return bad(QStringLiteral("telnet-port"));
    if (!toPort(parser.value(snmpPort), scenario.snmpPort))
        return bad(QStringLiteral("snmp-port"));
    if (!toPort(parser.value(tftpPort), scenario.tftpPort) || scenario.tftpPort == 0)
        return bad(QStringLiteral("tftp-port"));
    scenario.snmpSilent = parser.isSet(snmpSilent);
    scenario.snmpOpen = parser.isSet(snmpOpen);
    scenario.promptBlank = !parser.isSet(barePrompt);
    scenario.colour = parser.isSet(colour);
    scenario.userName = parser.value(user);
    scenario.password = parser.value(password);
    if (!toInt(parser.value(privilege), 1, 15, scenario.privilege))
        return bad(QStringLiteral("privilege"));
    scenario.hostName = parser.value(hostName);
    scenario.typeName = parser.value(typeName);
    scenario.objectId = parser.value(objectId);
    scenario.systemName = parser.value(systemName);
    scenario.location = parser.value(location);
    scenario.contact = parser.value(contact);
    scenario.macAddress = parser.value(macAddress);
    if (!toAddressRow(parser.value(ipAddress), true, scenario.interfaceAddress))
        return bad(QStringLiteral("ip-address"));
    if (!toAddressRow(parser.value(gateway), false, scenario.gateway))
        return bad(QStringLiteral("gateway"));

    scenario.softwareVersion = parser.value(softwareVersion);
    scenario.otherVersion = parser.value(otherVersion);
    scenario.interimVersion = parser.value(interimVersion);
    if (!scenario.interimVersion.contains(QStringLiteral("interim"), Qt::CaseInsensitive))
        return bad(QStringLiteral("interim-version (it must contain \"interim\")"));
    scenario.finalVersion = parser.value(finalVersion);
    scenario.finalImage = parser.value(finalImage);
    scenario.softwareDate = parser.value(softwareDate);
    scenario.softwareTime = parser.value(softwareTime);
    if (!toInt(parser.value(activeImage), 1, 2, scenario.activeImage) || !toInt(parser.value(nextImage), 1, 2, scenario.nextImage))
        return bad(QStringLiteral("active-image or --next-image"));
    scenario.oneImage = parser.isSet(oneImage);
    scenario.payloadPath = parser.value(payload);

    if (!toInt(parser.value(copyStartDelay), 0, 3600000, scenario.copyStartDelay))
        return bad(QStringLiteral("copy-start-delay"));
    if (!toInt(parser.value(copyTick), 1, 3600000, scenario.copyTick))
        return bad(QStringLiteral("copy-tick"));
    if (!toInt(parser.value(resetTime), 0, 3600000, scenario.resetTime))
        return bad(QStringLiteral("reset-time"));
    if (!toInt(parser.value(stepInterval), 0, 3600000, scenario.stepInterval))
        return bad(QStringLiteral("step-interval"));
    if (!toInt(parser.value(stepReads), 0, 1000, scenario.stepReads))
        return bad(QStringLiteral("step-reads"));

    scenario.mutedCommands = parser.values(mute);
    if (!toInt(parser.value(stackMaster), 0, 8, scenario.stackMaster) || !toInt(parser.value(stackUnits), 1, 8, scenario.stackUnits))
        return bad(QStringLiteral("stack-master or --stack-units"));
    scenario.silent = parser.isSet(silent);
    if (parser.isSet(dropAfter) && !toInt(parser.value(dropAfter), 1, 1000000, scenario.dropAtCommand))
        return bad(QStringLiteral("drop-at-command"));
    for (const QString &value : parser.values(copyFault)) {
        CopyFault fault;
        if (!toCopyFault(value, fault))
            return bad(QStringLiteral("copy-fault ") + value);
        scenario.copyFaults.append(fault);
    }
    scenario.copyFailureText = parser.value(copyFailureText);
    if (parser.isSet(resetFault)) {
        const QString value = parser.value(resetFault);
        if (value == QStringLiteral("never-back"))
            scenario.resetFault = ResetFault::NeverBack;
        else if (value == QStringLiteral("old-image"))
            scenario.resetFault = ResetFault::OldImage;
        else
            return bad(QStringLiteral("reset-fault"));
    }
    if (parser.isSet(selfUpgradeFault)) {
        const QString value = parser.value(selfUpgradeFault);
        const QString stopsAfter = QStringLiteral("stops-after=");
        const QString flickersAfter = QStringLiteral("flickers-after=");
        if (value == QStringLiteral("never-reports"))
            scenario.selfUpgradeFault = SelfUpgradeFault::NeverReports;
        else if (value == QStringLiteral("snmp-silent"))
            scenario.selfUpgradeFault = SelfUpgradeFault::SnmpSilent;
        else if (value == QStringLiteral("final-not-written"))
            scenario.selfUpgradeFault = SelfUpgradeFault::FinalNotWritten;
        else if (value.startsWith(stopsAfter) && toInt(value.mid(stopsAfter.size()), 1, 14, scenario.selfUpgradeStopStep))
            scenario.selfUpgradeFault = SelfUpgradeFault::StopsAfter;
        else if (value.startsWith(flickersAfter) && toInt(value.mid(flickersAfter.size()), 1, 14, scenario.selfUpgradeStopStep))
            scenario.selfUpgradeFault = SelfUpgradeFault::Flickers;
        else
            return bad(QStringLiteral("self-upgrade-fault"));
    }

    scenario.transcriptPath = parser.value(transcript);
    scenario.stateFolder = parser.value(state);
    return true;
}
