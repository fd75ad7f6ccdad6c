#include "Lifecycle.h"

#include "Device.h"
#include "SelfUpgrade.h"

#include <QTimer>

#include <cstdio>

Lifecycle::Lifecycle(Device &device, QObject *parent)
    : QObject(parent), m_device(device), m_telnet(device), m_snmp(device), m_telnetPort(device.scenario().telnetPort),
      m_snmpPort(device.scenario().snmpPort)
{
    // Queued: the command or the acknowledgement that asked for the reset finishes first.
    connect(&device, &Device::resetRequested, this, &Lifecycle::reset, Qt::QueuedConnection);
}

bool Lifecycle::start(QString &error)
{
    if (!listen(error))
        return false;
    runImage();
    return true;
}

// The first start takes the ports asked for (0: any free one); later ones take the same again.
bool Lifecycle::listen(QString &error)
{
    const QHostAddress address = m_device.scenario().address;
    if (!m_telnet.listen(address, m_telnetPort)) {
        error = QStringLiteral("telnet: cannot listen on %1:%2: %3").arg(address.toString()).arg(m_telnetPort).arg(m_telnet.errorString());
        return false;
    }
    m_telnetPort = m_telnet.serverPort();
    if (!m_snmp.bind(address, m_snmpPort)) {
        error = QStringLiteral("snmp: cannot bind %1:%2: %3").arg(address.toString()).arg(m_snmpPort).arg(m_snmp.errorString());
        return false;
    }
    m_snmpPort = m_snmp.port();
    return true;
}

void Lifecycle::reset()
{
    if (m_down)
        return;
    m_down = true;
    delete std::exchange(m_selfUpgrade, nullptr);
    m_telnet.shutDown();
    m_snmp.close();
    if (m_device.scenario().resetFault != ResetFault::NeverBack)
        QTimer::singleShot(m_device.scenario().resetTime, this, &Lifecycle::comeBack);
}

void Lifecycle::comeBack()
{
    m_device.boot();
    QString error;
    if (!listen(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return;
    }
    m_down = false;
    runImage();
}

void Lifecycle::runImage()
{
    if (!m_device.runningVersion().contains(QStringLiteral("interim"), Qt::CaseInsensitive))
        return;
    m_device.snmpMuted = m_device.scenario().selfUpgradeFault == SelfUpgradeFault::SnmpSilent;
    m_selfUpgrade = new SelfUpgrade(m_device, this);
}
