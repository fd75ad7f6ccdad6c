#include "Device.h"

#include "payload/ExeStrm.h"
#include "platform/Exceptions.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace {

QByteArray latin1(const QString &text)
{
    return text.toLatin1();
}

// "A.B.C.D/N" as the configuration writes it: address and mask.
QByteArray addressWithMask(const QByteArray &address)
{
    const int slash = address.indexOf('/');
    const int length = address.mid(slash + 1).toInt();
    const quint32 mask = length == 0 ? 0 : ~quint32(0) << (32 - length);
    QByteArray dotted;
    for (int shift = 24; shift >= 0; shift -= 8)
        dotted += QByteArray::number((mask >> shift) & 0xff) + (shift ? "." : "");
    return address.left(slash) + ' ' + dotted;
}

} // namespace

Device::Device(const Scenario &scenario, QObject *parent)
    : QObject(parent), m_scenario(scenario), m_transcript(scenario.transcriptPath), m_state(scenario.stateFolder),
      m_runningVersion(scenario.softwareVersion), m_activeSlot(scenario.oneImage ? 1 : scenario.activeImage),
      m_nextSlot(scenario.oneImage ? 1 : scenario.nextImage)
{
    m_running.systemName = latin1(scenario.systemName);
    m_running.contact = latin1(scenario.contact);
    m_running.location = latin1(scenario.location);
    if (scenario.snmpOpen)
        m_running.communities.insert("vemtal", "su");
    if (scenario.interfaceAddress.kind == AddressRow::Kind::Static)
        m_running.address = latin1(scenario.interfaceAddress.address);
    if (scenario.gateway.kind == AddressRow::Kind::Static)
        m_running.gateway = latin1(scenario.gateway.address);
    m_startup = m_running;
    m_slotVersions[m_activeSlot - 1] = scenario.softwareVersion;
    if (!scenario.oneImage)
        m_slotVersions[2 - m_activeSlot] = scenario.otherVersion;
    keep(QStringLiteral("startup-config.txt"), configurationText());
    recordBoot();
}

void Device::recordBoot()
{
    record({{QStringLiteral("event"), QStringLiteral("boot")},
            {QStringLiteral("slot"), m_activeSlot},
            {QStringLiteral("version"), m_runningVersion}});
}

void Device::configurationChanged()
{
    emit runningConfigurationChanged();
}

void Device::saveConfiguration()
{
    m_startup = m_running;
    keep(QStringLiteral("startup-config.txt"), configurationText());
    record({{QStringLiteral("event"), QStringLiteral("config-saved")}});
}

QByteArray Device::configurationText() const
{
    const Configuration &c = m_running;
    QByteArray text;
    const auto line = [&text](const QByteArray &words) { text += words + '\n'; };
    static const QRegularExpression portCount(QStringLiteral("(\\d+)$"));
    const QByteArray ports = latin1(portCount.match(m_scenario.typeName).captured(1));
    const QByteArray range = "g(1-" + (ports.isEmpty() ? QByteArray("24") : ports) + ')';

    line("!");
    line("! " + latin1(m_scenario.typeName) + " configuration, software " + latin1(m_runningVersion));
    line("!");
    line("vlan database");
    line("vlan 100");
    line("exit");
    if (m_scenario.isStack()) {
        for (int unit = 1; unit <= m_scenario.stackUnits; ++unit) {
            line("interface range ethernet " + QByteArray::number(unit) + '/' + range);
            line("switchport access vlan 100");
            line("exit");
        }
    } else {
        line("interface range ethernet " + range);
        line("switchport access vlan 100");
        line("exit");
    }
    line("interface ethernet g1");
    line("description uplink");
    line("exit");
    line("interface ethernet g2");
    line("description server room");
    line("spanning-tree portfast");
    line("exit");
    line("interface vlan 100");
    line("name management");
    if (!c.address.isEmpty())
        line("ip address " + addressWithMask(c.address));
    else if (m_scenario.interfaceAddress.kind == AddressRow::Kind::Dhcp)
        line("ip address dhcp");
    line("exit");
    if (!c.gateway.isEmpty())
        line("ip default-gateway " + c.gateway);
    line("hostname " + c.systemName);
    if (!c.consoleLogging.isEmpty())
        line("logging console " + c.consoleLogging);
    for (auto it = c.communities.cbegin(); it != c.communities.cend(); ++it)
        line("snmp-server community " + it.key() + ' ' + it.value());
    if (!c.contact.isEmpty())
        line("snmp-server contact " + c.contact);
    if (!c.location.isEmpty())
        line("snmp-server location " + c.location);
    line("username " + latin1(m_scenario.userName) + " password "
         + QCryptographicHash::hash(latin1(m_scenario.password), QCryptographicHash::Md5).toHex() + " level "
         + QByteArray::number(m_scenario.privilege) + " encrypted");
    line("ip telnet server");
    line("line telnet");
    line("exec-timeout 30");
    line("exit");
    line("clock timezone 1 zone CET");
    line("sntp unicast client enable");
    line("ip igmp snooping");
    line("spanning-tree mode rstp");
    line("!");
    return text;
}

AddressRow Device::interfaceRow() const
{
    if (!m_running.address.isEmpty())
        return {AddressRow::Kind::Static, QString::fromLatin1(m_running.address)};
    return m_scenario.interfaceAddress.kind == AddressRow::Kind::Dhcp ? m_scenario.interfaceAddress : AddressRow{};
}

AddressRow Device::gatewayRow() const
{
    if (!m_running.gateway.isEmpty())
        return {AddressRow::Kind::Static, QString::fromLatin1(m_running.gateway)};
    return m_scenario.gateway.kind == AddressRow::Kind::Dhcp ? m_scenario.gateway : AddressRow{};
}

bool Device::isImage(const QString &name, const QByteArray &bytes) const
{
    if (m_scenario.payloadPath.isEmpty())
        return true;
    try {
        const TEXEAppendixFileSystem payload(m_scenario.payloadPath);
        const std::unique_ptr<QBuffer> file = payload.OpenFile(name, TExeAppendixStream::AccessMode::Read);
        return file && file->data() == bytes;
    } catch (const Exception &) {
        return false;
    }
}

void Device::storeImage(int slot, const QString &name, const QByteArray &bytes)
{
    const bool interim = name.contains(QStringLiteral("interim"), Qt::CaseInsensitive);
    m_slotVersions[slot - 1] = interim ? m_scenario.interimVersion : m_scenario.finalVersion;
    keep(QStringLiteral("slot-%1.img").arg(slot), bytes);
}

void Device::requestReset(const QString &reason)
{
    record({{QStringLiteral("event"), QStringLiteral("reset")}, {QStringLiteral("reason"), reason}});
    emit resetRequested(reason);
}

void Device::boot()
{
    if (m_scenario.resetFault == ResetFault::OldImage)
        m_nextSlot = m_activeSlot;
    m_activeSlot = m_nextSlot;
    m_runningVersion = m_slotVersions[m_activeSlot - 1];
    m_running = m_startup;
    copyBusy = false;
    snmpMuted = false;
    recordBoot();
}
