#include "SnmpAgent.h"

#include "Device.h"

#include "access/Ber.h"
#include "access/SnmpMessage.h"

#include <QNetworkDatagram>

namespace {

const QByteArray kCommunity = QByteArrayLiteral("vemtal");

const QString kSysDescr = QStringLiteral("1.3.6.1.2.1.1.1.0");
const QString kSysObjectId = QStringLiteral("1.3.6.1.2.1.1.2.0");
const QString kSysContact = QStringLiteral("1.3.6.1.2.1.1.4.0");
const QString kSysName = QStringLiteral("1.3.6.1.2.1.1.5.0");
const QString kSysLocation = QStringLiteral("1.3.6.1.2.1.1.6.0");

enum ErrorStatus { TooBig = 1, NoSuchName = 2, BadValue = 3 };

// DisplayString holds at most 255 bytes.
constexpr qsizetype kLongestText = 255;

// The writable texts of the system group, const as the device is.
template<class D>
auto writable(D &device, const QString &id) -> decltype(&device.contact)
{
    if (id == kSysContact)
        return &device.contact;
    if (id == kSysName)
        return &device.systemName;
    if (id == kSysLocation)
        return &device.location;
    return nullptr;
}

bool read(const Device &device, const QString &id, Snmp::Variable &variable)
{
    variable.type = Ber::OctetString;
    if (id == kSysDescr) {
        variable.value = device.scenario().typeName.toLatin1();
    } else if (id == kSysObjectId) {
        variable.type = Ber::ObjectIdentifier;
        variable.value = device.scenario().objectId.toLatin1();
    } else if (const QByteArray *text = writable(device, id)) {
        variable.value = *text;
    } else {
        return false;
    }
    return true;
}

void fail(Snmp::Message &response, const Snmp::Message &request, int status, qsizetype index)
{
    response.errorStatus = status;
    response.errorIndex = qint32(index);
    response.variables = request.variables;
}

} // namespace

SnmpAgent::SnmpAgent(Device &device, QObject *parent) : QObject(parent), m_device(device)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &SnmpAgent::readPending);
}

bool SnmpAgent::bind(const QHostAddress &address, quint16 port)
{
    return m_socket.bind(address, port, QAbstractSocket::DontShareAddress);
}

void SnmpAgent::readPending()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        if (!datagram.isValid())
            return;
        if (m_device.scenario().snmpSilent || !datagram.senderAddress().isLoopback())
            continue;
        if (const std::optional<QByteArray> reply = answer(datagram.data()))
            m_socket.writeDatagram(*reply, datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}

std::optional<QByteArray> SnmpAgent::answer(QByteArrayView datagram)
{
    Snmp::Message request;
    if (Snmp::decodeMessage(datagram, request) != Snmp::DecodeResult::Ok || request.version != 0
        || request.community != kCommunity)
        return std::nullopt;
    Snmp::Message response;
    response.community = request.community;
    response.pdu = Snmp::GetResponse;
    response.requestId = request.requestId;
    if (request.pdu == Snmp::GetRequest)
        get(request, response);
    else if (request.pdu == Snmp::SetRequest)
        set(request, response);
    else
        return std::nullopt;

    QByteArray reply;
    if (Snmp::encodeMessage(response, reply))
        return reply;
    fail(response, request, TooBig, 0);
    if (Snmp::encodeMessage(response, reply))
        return reply;
    return std::nullopt;
}

void SnmpAgent::get(const Snmp::Message &request, Snmp::Message &response) const
{
    for (qsizetype i = 0; i < request.variables.size(); ++i) {
        Snmp::Variable variable;
        variable.id = request.variables[i].id;
        if (!read(m_device, variable.id, variable)) {
            fail(response, request, NoSuchName, i + 1);
            return;
        }
        response.variables.append(variable);
    }
}

// All or nothing, as SNMPv1 sets are: every binding is checked before any is applied. A
// read-only object answers noSuchName, as SNMPv1 has no other status for it.
void SnmpAgent::set(const Snmp::Message &request, Snmp::Message &response)
{
    for (qsizetype i = 0; i < request.variables.size(); ++i) {
        const Snmp::Variable &variable = request.variables[i];
        if (!writable(m_device, variable.id)) {
            fail(response, request, NoSuchName, i + 1);
            return;
        }
        if (variable.type != Ber::OctetString || variable.value.size() > kLongestText) {
            fail(response, request, BadValue, i + 1);
            return;
        }
    }
    for (const Snmp::Variable &variable : request.variables)
        *writable(m_device, variable.id) = variable.value;
    response.variables = request.variables;
}
