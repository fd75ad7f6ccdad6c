#include "SnmpAgent.h"

#include "Device.h"

#include "access/Ber.h"
#include "access/SnmpMessage.h"

#include <QNetworkDatagram>

namespace {

const QString kSysDescr = QStringLiteral("1.3.6.1.2.1.1.1.0");
const QString kSysObjectId = QStringLiteral("1.3.6.1.2.1.1.2.0");
const QString kSysContact = QStringLiteral("1.3.6.1.2.1.1.4.0");
const QString kSysName = QStringLiteral("1.3.6.1.2.1.1.5.0");
const QString kSysLocation = QStringLiteral("1.3.6.1.2.1.1.6.0");

enum ErrorStatus { TooBig = 1, NoSuchName = 2, BadValue = 3 };

// DisplayString holds at most 255 bytes.
constexpr qsizetype kLongestText = 255;

// The writable texts of the system group: the running configuration's, const as it is.
template<class C>
auto writable(C &configuration, const QString &id) -> decltype(&configuration.contact)
{
    if (id == kSysContact)
        return &configuration.contact;
    if (id == kSysName)
        return &configuration.systemName;
    if (id == kSysLocation)
        return &configuration.location;
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
    } else if (const QByteArray *text = writable(device.running(), id)) {
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
        if (m_device.scenario().snmpSilent || m_device.snmpMuted || !datagram.senderAddress().isLoopback())
            continue;
        if (const std::optional<QByteArray> reply = answer(datagram.data()))
            m_socket.writeDatagram(*reply, datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}

std::optional<QByteArray> SnmpAgent::answer(QByteArrayView datagram)
{
    Snmp::Message request;
    if (Snmp::decodeMessage(datagram, request) != Snmp::DecodeResult::Ok || request.version != 0)
        return std::nullopt;
    const QByteArray access = m_device.communityAccess(request.community);
    if (access.isEmpty())
        return std::nullopt;
    Snmp::Message response;
    response.community = request.community;
    response.pdu = Snmp::GetResponse;
    response.requestId = request.requestId;
    if (request.pdu == Snmp::GetRequest)
        get(request, response);
    else if (request.pdu == Snmp::SetRequest)
        set(request, access != "ro", response);
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
    for (const Snmp::Variable &variable : std::as_const(response.variables)) {
        if (variable.id == kSysContact)
            emit m_device.contactReadBySnmp();
    }
}

// All or nothing, as SNMPv1 sets are: every binding is checked before any is applied. A
// read-only object, or any object for a read-only community, answers noSuchName, as SNMPv1
// has no other status for it.
void SnmpAgent::set(const Snmp::Message &request, bool mayWrite, Snmp::Message &response)
{
    Configuration &configuration = m_device.running();
    for (qsizetype i = 0; i < request.variables.size(); ++i) {
        const Snmp::Variable &variable = request.variables[i];
        if (!mayWrite || !writable(configuration, variable.id)) {
            fail(response, request, NoSuchName, i + 1);
            return;
        }
        if (variable.type != Ber::OctetString || variable.value.size() > kLongestText) {
            fail(response, request, BadValue, i + 1);
            return;
        }
    }
    bool contactWritten = false;
    for (const Snmp::Variable &variable : request.variables) {
        *writable(configuration, variable.id) = variable.value;
        contactWritten = contactWritten || variable.id == kSysContact;
    }
    response.variables = request.variables;
    m_device.configurationChanged();
    if (contactWritten)
        emit m_device.contactWrittenBySnmp();
}
