#include "Device.h"
#include "Lifecycle.h"
#include "Scenario.h"

#include <QCoreApplication>

#include <cstdio>

// Prints "<service> <address>:<port>" for each service and then "ready", so that a test
// knows where to connect and when. The ports stay the same across the switch's resets.
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
    Lifecycle lifecycle(device);
    if (!lifecycle.start(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString address = scenario.address.toString();
    std::printf("telnet %s:%d\n", qPrintable(address), lifecycle.telnetPort());
    std::printf("snmp %s:%d\n", qPrintable(address), lifecycle.snmpPort());
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
