#include "access/SnmpClient.h"

#include "access/Ber.h"
#include "platform/Events.h"
#include "platform/Exceptions.h"
#include "platform/HostAddress.h"
#include "platform/SocketErrors.h"

#include <QNetworkDatagram>
#include <QScopedValueRollback>
#include <QUdpSocket>
#include <QVariant>

#include <optional>

namespace {

constexpr quint16 kAgentPort = 161;
constexpr quint16 kTrapPort = 162;

// Taken by value: a handler may reassign its own event while it runs.
std::optional<Snmp::PduTag> pduOf(TSNMPActions action, TSNMPVersion version)
{
    switch (action) {
    case snmpSendGetRequest: return Snmp::GetRequest;
    case snmpSendGetNextRequest: return Snmp::GetNextRequest;
    case snmpSendSetRequest: return Snmp::SetRequest;
    case snmpSendGetResponse: return Snmp::GetResponse;
    case snmpSendTrap: return version == snmpverV2c ? Snmp::TrapV2 : Snmp::TrapV1;
    case snmpSendGetBulkRequest: return Snmp::GetBulkRequest;
    case snmpSendInformRequest: return Snmp::InformRequest;
    case snmpReset: break;
    }
    return std::nullopt;
}

bool isDottedIpv4(const QString &text)
{
    QByteArray unused;
    return Snmp::encodeValue(Ber::IpAddress, text.toLatin1(), unused);
}

} // namespace

TSNMPClient::TSNMPClient(QObject *owner) : QObject(owner) {}

QString TSNMPClient::ErrorText(int code)
{
    switch (code) {
    case ErrBuildPacket: return QStringLiteral("Error building SNMP packet.");
    case ErrInvalidIndex: return QStringLiteral("Invalid object index: must be in [1..ObjCount].");
    case ErrTooManyObjects: return QStringLiteral("Value exceeds maximum number of objects allowed.");
    case ErrNotIpAddress: return QStringLiteral("Value must be an IP address.");
    case ErrInvalidAction: return QStringLiteral("Invalid Action code");
    case ErrBadPacket:
    case ErrUnknownPdu: return QStringLiteral("SNMP: Error receiving packet.");
    default: return Platform::socketErrorText(code);
    }
}

void TSNMPClient::raise(int code)
{
    throw ESocketError(code, ErrorText(code));
}

void TSNMPClient::SetRemoteHost(const QString &value)
{
    m_remoteAddress = Platform::resolveIPv4(value);
    m_remoteHostText = value;
}

void TSNMPClient::SetTrapAgentAddress(const QString &value)
{
    if (!isDottedIpv4(value))
        raise(ErrNotIpAddress);
    m_trapAgentAddress = value;
}

void TSNMPClient::SetObjCount(int count)
{
    if (count < 0 || count > Snmp::kMaxVariables)
        raise(ErrTooManyObjects);
    m_variables.resize(count);
}

void TSNMPClient::checkIndex(int index) const
{
    if (index < 1 || index > m_variables.size())
        raise(ErrInvalidIndex);
}

QString TSNMPClient::ObjId(int index) const
{
    if (index < 1 || index > m_variables.size())
        throw Exception(QStringLiteral("Invalid array index value for ObjId"));
    return m_variables.at(index - 1).id;
}

void TSNMPClient::SetObjId(int index, const QString &id)
{
    checkIndex(index);
    m_variables[index - 1].id = id;
}

int TSNMPClient::ObjType(int index) const
{
    checkIndex(index);
    return m_variables.at(index - 1).type;
}

void TSNMPClient::SetObjType(int index, int type)
{
    checkIndex(index);
    m_variables[index - 1].type = type;
}

QByteArray TSNMPClient::ObjValue(int index) const
{
    if (index < 1 || index > m_variables.size())
        throw Exception(QStringLiteral("Invalid array index value for ObjValue"));
    return m_variables.at(index - 1).value;
}

void TSNMPClient::SetObjValue(int index, const QByteArray &value)
{
    checkIndex(index);
    m_variables[index - 1].value = value;
}

void TSNMPClient::SetAction(TSNMPActions action)
{
    if (action == snmpReset) {
        reset();
        return;
    }
    const std::optional<Snmp::PduTag> pdu = pduOf(action, m_version);
    if (!pdu)
        raise(ErrInvalidAction);
    open();
    if (action == snmpSendGetRequest) {
        for (Snmp::Variable &variable : m_variables)
            variable.type = Ber::Null;
    }
    send(*pdu);
}

void TSNMPClient::reset()
{
    m_variables.clear();
    m_errorStatus = 0;
    m_errorIndex = 0;
    m_nonRepeaters = 0;
    m_maxRepetitions = 0;
    m_trapEnterprise.clear();
    m_trapAgentAddress = QStringLiteral("0.0.0.0");
    m_genericTrap = 0;
    m_specificTrap = 0;
    m_trapTimeStamp = 0;
}

void TSNMPClient::open()
{
    if (m_socket)
        return;
    const QHostAddress local = m_localHost.isEmpty() ? QHostAddress(QHostAddress::AnyIPv4) : QHostAddress(m_localHost);
    if (local.isNull())
        raise(Platform::WsaAddressNotAvailable);
    auto *socket = new QUdpSocket(this);
    if (!socket->bind(local, m_localPort, QAbstractSocket::DontShareAddress)) {
        const int code = Platform::socketErrorFromQt(socket->error());
        delete socket;
        raise(code);
    }
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, m_inBufferSize);
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, m_outBufferSize);
    connect(socket, &QUdpSocket::readyRead, this, &TSNMPClient::readPending);
    m_socket = socket;
    Platform::emitIfSet(OnReadyToSend);
}

void TSNMPClient::send(Snmp::PduTag pdu)
{
    const bool trap = pdu == Snmp::TrapV1 || pdu == Snmp::TrapV2;
    Snmp::Message message;
    message.version = m_version == snmpverV2c ? 1 : 0;
    message.community = m_community;
    message.pdu = pdu;
    if (pdu != Snmp::TrapV1)
        message.requestId = std::exchange(m_requestId, int(quint32(m_requestId) + 1));
    message.errorStatus = m_errorStatus;
    message.errorIndex = m_errorIndex;
    message.nonRepeaters = m_nonRepeaters;
    message.maxRepetitions = m_maxRepetitions;
    message.enterprise = m_trapEnterprise;
    message.agentAddress = m_trapAgentAddress;
    message.genericTrap = m_genericTrap;
    message.specificTrap = m_specificTrap;
    message.timeStamp = m_trapTimeStamp;
    message.variables = m_variables;

    QByteArray datagram;
    if (!Snmp::encodeMessage(message, datagram))
        raise(ErrBuildPacket);
    // An unset destination would reach this host on some systems; refuse it as no address.
    if (m_remoteAddress.isNull())
        raise(Platform::WsaAddressNotAvailable);
    Platform::emitIfSet(OnPDUTrace, datagram, m_remoteAddress.toString());
    const quint16 port = m_remotePort != 0 ? m_remotePort : (trap ? kTrapPort : kAgentPort);
    if (m_socket->writeDatagram(datagram, m_remoteAddress, port) < 0)
        raise(Platform::socketErrorFromQt(m_socket->error()));
}

void TSNMPClient::readPending()
{
    if (m_reading)
        return;
    const QScopedValueRollback guard(m_reading, true);
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        if (!datagram.isValid()) {
            const int code = Platform::socketErrorFromQt(m_socket->error());
            if (code != Platform::WsaWouldBlock && code != Platform::WsaNotSocket)
                Platform::emitIfSet(OnError, code, QStringLiteral("Winsock error in recv()"));
            return;
        }
        receive(datagram.data(), datagram.senderAddress().toString(), quint16(datagram.senderPort()));
    }
}

void TSNMPClient::receive(const QByteArray &datagram, const QString &source, quint16 port)
{
    Platform::emitIfSet(OnPDUTrace, datagram, source);
    Snmp::Message message;
    switch (Snmp::decodeMessage(datagram, message)) {
    case Snmp::DecodeResult::Ok:
        break;
    case Snmp::DecodeResult::UnknownPdu:
        Platform::emitIfSet(OnError, int(ErrUnknownPdu), ErrorText(ErrUnknownPdu));
        return;
    case Snmp::DecodeResult::BadVersion:
    case Snmp::DecodeResult::Malformed:
        Platform::emitIfSet(OnError, int(ErrBadPacket), ErrorText(ErrBadPacket));
        return;
    }
    // Only a datagram decoded to its end may change what the client holds.
    m_version = message.version == 1 ? snmpverV2c : snmpverV1;
    m_variables = message.variables;
    dispatch(message, source, port);
}

void TSNMPClient::dispatch(const Snmp::Message &m, const QString &source, quint16 port)
{
    switch (m.pdu) {
    case Snmp::GetRequest:
        Platform::emitIfSet(OnGetRequest, m.requestId, m.community, source, port);
        break;
    case Snmp::GetNextRequest:
        Platform::emitIfSet(OnGetNextRequest, m.requestId, m.community, source, port);
        break;
    case Snmp::GetResponse:
        Platform::emitIfSet(OnGetResponse, m.requestId, m.community, quint16(m.errorStatus), quint16(m.errorIndex), source, port);
        break;
    case Snmp::SetRequest:
        Platform::emitIfSet(OnSetRequest, m.requestId, m.community, source, port);
        break;
    case Snmp::InformRequest:
        Platform::emitIfSet(OnInformRequest, m.requestId, m.community, quint16(m.errorStatus), quint16(m.errorIndex), source, port);
        break;
    case Snmp::GetBulkRequest:
        Platform::emitIfSet(OnGetBulkRequest, m.requestId, m.community, m.nonRepeaters, m.maxRepetitions, source, port);
        break;
    case Snmp::TrapV1:
        Platform::emitIfSet(OnTrap, m.community, m.enterprise, m.agentAddress, m.genericTrap, m.specificTrap, m.timeStamp, source, port);
        break;
    }
}
