#include "Device.h"
#include "Scenario.h"
#include "SnmpAgent.h"
#include "TelnetServer.h"

#include <QCoreApplication>

#include <cstdio>

// Prints "<service> <address>:<port>" for each service and then "ready", so that a test
// knows where to connect and when.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Scenario scenario;
    QString error;
    if (!parseScenario(app.arguments(), scenario, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }

    Device device(scenario);
    TelnetServer telnet(device);
    if (!telnet.listen(scenario.address, scenario.telnetPort)) {
        std::fprintf(stderr, "telnet: cannot listen on %s:%d: %s\n", qPrintable(scenario.address.toString()),
                     scenario.telnetPort, qPrintable(telnet.errorString()));
        return 1;
    }
    std::printf("telnet %s:%d\n", qPrintable(scenario.address.toString()), telnet.serverPort());
    SnmpAgent snmp(device);
    if (!snmp.bind(scenario.address, scenario.snmpPort)) {
        std::fprintf(stderr, "snmp: cannot bind %s:%d: %s\n", qPrintable(scenario.address.toString()), scenario.snmpPort,
                     qPrintable(snmp.errorString()));
        return 1;
    }
    std::printf("snmp %s:%d\n", qPrintable(scenario.address.toString()), snmp.port());
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
