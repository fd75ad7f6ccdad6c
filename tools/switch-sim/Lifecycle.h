#pragma once

#include "SnmpAgent.h"
#include "TelnetServer.h"

#include <QObject>

class Device;
class SelfUpgrade;

// The switch's services across its resets: a reset takes the telnet listener and the SNMP
// socket away for the scenario's reset time (connections refused, SNMP silent), ends every
// session, then brings them back on the same ports, running what the device booted.
class Lifecycle final : public QObject
{
    Q_OBJECT

public:
    explicit Lifecycle(Device &device, QObject *parent = nullptr);

    // Starts the services; false with the reason in error.
    bool start(QString &error);
    quint16 telnetPort() const { return m_telnetPort; }
    quint16 snmpPort() const { return m_snmpPort; }

private:
    bool listen(QString &error);
    void reset();
    void comeBack();
    void runImage();

    Device &m_device;
    TelnetServer m_telnet;
    SnmpAgent m_snmp;
    quint16 m_telnetPort;
    quint16 m_snmpPort;
    bool m_down = false;
    SelfUpgrade *m_selfUpgrade = nullptr;
};
