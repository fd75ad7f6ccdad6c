#pragma once

#include <QHostAddress>
#include <QUdpSocket>

#include <optional>

class Device;
namespace Snmp {
struct Message;
}

// The switch's SNMPv1 agent: GetRequest and SetRequest on the MIB-II system group of the
// device, for the communities its running configuration knows ("ro" ones read only).
// Anything else, and anything that does not decode, gets no answer, as a switch drops a
// wrong community.
class SnmpAgent final : public QObject
{
    Q_OBJECT

public:
    explicit SnmpAgent(Device &device, QObject *parent = nullptr);

    bool bind(const QHostAddress &address, quint16 port);
    void close() { m_socket.close(); }
    quint16 port() const { return m_socket.localPort(); }
    QString errorString() const { return m_socket.errorString(); }

private:
    void readPending();
    std::optional<QByteArray> answer(QByteArrayView datagram);
    void get(const Snmp::Message &request, Snmp::Message &response) const;
    void set(const Snmp::Message &request, bool mayWrite, Snmp::Message &response);

    Device &m_device;
    QUdpSocket m_socket;
};
