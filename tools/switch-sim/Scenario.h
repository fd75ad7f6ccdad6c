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

    QString userName = QStringLiteral("admin");
    QString password = QStringLiteral("admin");
    QString hostName = QStringLiteral("console");

    // What "show system" reports and the SNMP system group holds at start.
    QString typeName = QStringLiteral("Norvale GS-24");
    QString objectId = QStringLiteral("1.3.6.1.4.1.99999.1.1.24");
    QString systemName = QStringLiteral("switch-1");
    QString location = QStringLiteral("Lab rack 3");
    QString contact = QStringLiteral("noc@example.net");

    int stackMaster = 0; // 0: standalone; otherwise the master's unit number
    int stackUnits = 2;

    bool silent = false;        // accept the connection, then never answer
    int dropAfterSeconds = -1;  // close every connection this long after it opened

    QString transcriptPath;     // every byte received, in order, across connections

    bool isStack() const { return stackMaster > 0; }
};

// Parses the simulator's arguments; on a bad argument returns false with a message.
bool parseScenario(const QStringList &arguments, Scenario &scenario, QString &error);
