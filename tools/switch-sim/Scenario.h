#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// Where a copy fault strikes: every file copy, the configuration upload or the image download.
enum class CopyTarget { Any, Config, Image };

enum class CopyFaultKind {
    Occupied,     // "occupied by another user" instead of starting the copy
    NeverStarts,  // nothing after the command, no transfer
    NeverEnds,    // the transfer completes, the completion line never comes
    AbortAfter,   // the TFTP client dies once bytes of the file have moved
    DropTelnet,   // the telnet connection closes once the transfer has started
    CapitalBytes, // the completion line says "Bytes copied in"
};

struct CopyFault
{
    CopyTarget target = CopyTarget::Any;
    CopyFaultKind kind = CopyFaultKind::Occupied;
    qint64 bytes = 0; // AbortAfter only
};

enum class ResetFault { None, NeverBack, OldImage };

enum class SelfUpgradeFault { None, NeverReports, StopsAfter, Flickers, SnmpSilent, FinalNotWritten };

// A row of "show ip interface": absent, learned by DHCP or set by hand.
struct AddressRow
{
    enum class Kind { None, Dhcp, Static };
    Kind kind = Kind::None;
    QString address; // "A.B.C.D/N" for the interface, "A.B.C.D" for the gateway
};

// Everything that makes one simulated switch differ from another: its address and ports,
// the operator's credentials, the stack layout, its images, its timings and the faults to
// play. Plain data, filled from the command line, so tests describe a switch in one line of
// arguments.
struct Scenario
{
    QHostAddress address{QStringLiteral("127.0.0.2")};
    quint16 telnetPort = 23;
    quint16 snmpPort = 161;
    quint16 tftpPort = 69; // where the switch's TFTP client finds the PC's server
    bool snmpSilent = false;  // the SNMP agent reads requests but never answers
    bool snmpOpen = false;    // the saved configuration already opens the community "vemtal"

    QString userName = QStringLiteral("admin");
    QString password = QStringLiteral("admin");
    QString hostName = QStringLiteral("console");
    // The prompt follows escape, "[", "K" with a blank after it, as most switches print it, or
    // with none, as some firmware does.
    bool promptBlank = true;
    // Colour and a bell in the output, as some firmware prints them: a copy's marks and its
    // result line in green terminal sequences, a bell when its transfer starts.
    bool colour = false;
    int privilege = 15; // below 15 the line-mode interface knows no copy, configure, boot or reload

    // What "show system" reports and the SNMP system group holds at start.
    QString typeName = QStringLiteral("Norvale GS-24");
    QString objectId = QStringLiteral("1.3.6.1.4.1.99999.1.1.24");
    QString systemName = QStringLiteral("switch-1");
    QString location = QStringLiteral("Lab rack 3");
    QString contact = QStringLiteral("noc@example.net");
    QString macAddress = QStringLiteral("00:1b:21:3a:4c:01");

    // The rows of "show ip interface" at start; a static row is part of the saved configuration.
    AddressRow interfaceAddress{AddressRow::Kind::Dhcp, QStringLiteral("192.0.2.10/24")};
    AddressRow gateway{AddressRow::Kind::Dhcp, QStringLiteral("192.0.2.1")};

    // What "show version" and "show bootvar" report, and what the images hold.
    QString softwareVersion = QStringLiteral("3.0.0.43"); // the running slot's version
    QString otherVersion = QStringLiteral("3.0.0.41");    // the other slot's version
    QString interimVersion = QStringLiteral("3.0.0.45-interim");
    QString finalVersion = QStringLiteral("3.0.0.46");
    QString finalImage = QStringLiteral("sim_ge-746.img"); // what the intermediate image fetches
    QString softwareDate = QStringLiteral("12-Mar-2008");
    QString softwareTime = QStringLiteral("10:31:07");
    int activeImage = 1;     // the slot that runs
    int nextImage = 1;       // the slot selected for the next boot
    bool oneImage = false;   // a device with a single image slot lists no slots
    QString payloadPath;     // received images must equal this program's payload files

    // Commands answered with the prompt alone, not even echoed: a switch that misbehaves.
    QStringList mutedCommands;

    int stackMaster = 0; // 0: standalone; otherwise the master's unit number
    int stackUnits = 2;

    bool silent = false;        // accept the connection, then never answer
    // Close a connection, unanswered, when its Nth command of the line-mode interface
    // arrives (empty lines do not count); 0: never.
    int dropAtCommand = 0;

    // Timings in milliseconds.
    int copyStartDelay = 3000; // from a copy command to the start of its transfer
    int copyTick = 1000;       // one "!" per tick while a transfer runs
    int resetTime = 15000;     // the switch is away this long during a reset
    int stepInterval = 3000;   // between two progress reports of the intermediate image
    // When above 0: a progress report stays until sysContact has been read this many times,
    // whatever the interval, so that a reader that polls on its own clock sees every step.
    int stepReads = 0;

    QList<CopyFault> copyFaults;
    QString copyFailureText = QStringLiteral("%COPY-E-TFTPFAIL: Copy operation has failed");
    ResetFault resetFault = ResetFault::None;
    SelfUpgradeFault selfUpgradeFault = SelfUpgradeFault::None;
    int selfUpgradeStopStep = 0; // StopsAfter, Flickers: the last step reported

    QString transcriptPath;     // every byte received, in order, across connections
    QString stateFolder;        // slot images, start-up configuration and events, for tests

    bool isStack() const { return stackMaster > 0; }
};

// Parses the simulator's arguments; on a bad argument returns false with a message.
bool parseScenario(const QStringList &arguments, Scenario &scenario, QString &error);
