#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

// Everything that makes one simulated switch differ from another: its address and ports,
// the operator's credentials, the stack layout and the faults to play. Plain data, filled
// from the command line, so tests describe a switch in one line of arguments.
struct Scenario
{
    QHostAddress address{QStringLiteral("127.0.0.2")};
    quint16 telnetPort = 23;
    quint16 snmpPort = 161;
    bool snmpSilent = false;  // the SNMP agent reads requests but never answers

    QString userName = QStringLiteral("admin");
    QString password = QStringLiteral("admin");
    QString hostName = QStringLiteral("console");

    // What "show system" reports and the SNMP system group holds at start.
    QString typeName = QStringLiteral("Norvale GS-24");
    QString objectId = QStringLiteral("1.3.6.1.4.1.99999.1.1.24");
    QString systemName = QStringLiteral("switch-1");
    QString location = QStringLiteral("Lab rack 3");
    QString contact = QStringLiteral("noc@example.net");
    QString macAddress = QStringLiteral("00:1b:21:3a:4c:01");

    // What "show version" and "show bootvar" report.
    QString softwareVersion = QStringLiteral("3.0.0.43");
    QString softwareDate = QStringLiteral("12-Mar-2008");
    QString softwareTime = QStringLiteral("10:31:07");
    int activeImage = 1;     // the slot that runs
    int nextImage = 1;       // the slot selected for the next boot
    bool oneImage = false;   // a device with a single image slot lists no slots

    // Commands answered with the prompt alone, not even echoed: a switch that misbehaves.
    QStringList mutedCommands;

    int stackMaster = 0; // 0: standalone; otherwise the master's unit number
    int stackUnits = 2;

    bool silent = false;        // accept the connection, then never answer
    // Close a connection, unanswered, when its Nth command of the line-mode interface
    // arrives (empty lines do not count); 0: never.
    int dropAtCommand = 0;

    QString transcriptPath;     // every byte received, in order, across connections

    bool isStack() const { return stackMaster > 0; }
};

// Parses the simulator's arguments; on a bad argument returns false with a message.
bool parseScenario(const QStringList &arguments, Scenario &scenario, QString &error);
