#pragma once

#include "access/SnmpMessage.h"

#include <QHostAddress>
#include <QObject>

#include <functional>

class QUdpSocket;

// A fixed underlying type: SetAction answers any other code with its own error.
enum TSNMPActions : int {
    snmpReset,
    snmpSendGetRequest,
    snmpSendGetNextRequest,
    snmpSendSetRequest,
    snmpSendGetResponse,
    snmpSendTrap,
    snmpSendGetBulkRequest,
    snmpSendInformRequest,
};

enum TSNMPVersion {
    snmpverDefault,
    snmpverV1,
    snmpverV2c,
};

// An SNMP manager over one UDP socket. Setting Action encodes the variable list into one
// datagram and sends it; every datagram that arrives replaces the variable list and raises
// the event of its PDU, while the owning thread dispatches its events (an event without a
// handler is dropped). It keeps no record of the requests it sent and never retransmits.
class TSNMPClient : public QObject
{
    Q_OBJECT

public:
    explicit TSNMPClient(QObject *owner = nullptr);

    // Performs the action at once; the first sending action opens the socket.
    void SetAction(TSNMPActions action);

    QByteArray Community() const { return m_community; }
    void SetCommunity(const QByteArray &value) { m_community = value; }
    int InBufferSize() const { return m_inBufferSize; }
    void SetInBufferSize(int value) { m_inBufferSize = value; }
    QString LocalHost() const { return m_localHost; }
    void SetLocalHost(const QString &value) { m_localHost = value; }
    quint16 LocalPort() const { return m_localPort; }
    void SetLocalPort(quint16 value) { m_localPort = value; }
    int OutBufferSize() const { return m_outBufferSize; }
    void SetOutBufferSize(int value) { m_outBufferSize = value; }
    QString RemoteHost() const { return m_remoteHostText; }
    // Resolves a host name at once; fails when it has no IPv4 address.
    void SetRemoteHost(const QString &value);
    quint16 RemotePort() const { return m_remotePort; }
    // 0 sends each request to 161 and each trap to 162.
    void SetRemotePort(quint16 value) { m_remotePort = value; }
    TSNMPVersion SNMPVersion() const { return m_version; }
    void SetSNMPVersion(TSNMPVersion value) { m_version = value; }

    // The variable list, indexed from 1 to ObjCount.
    int ObjCount() const { return int(m_variables.size()); }
    void SetObjCount(int count);
    QString ObjId(int index) const;
    void SetObjId(int index, const QString &id);
    int ObjType(int index) const;
    void SetObjType(int index, int type);
    QByteArray ObjValue(int index) const;
    void SetObjValue(int index, const QByteArray &value);

    // The id of the next request sent.
    int RequestId() const { return m_requestId; }
    void SetRequestId(int value) { m_requestId = value; }
    // Put into sent PDUs; what arrives does not change them.
    int ErrorStatus() const { return m_errorStatus; }
    void SetErrorStatus(int value) { m_errorStatus = value; }
    int ErrorIndex() const { return m_errorIndex; }
    void SetErrorIndex(int value) { m_errorIndex = value; }
    int NonRepeaters() const { return m_nonRepeaters; }
    void SetNonRepeaters(int value) { m_nonRepeaters = value; }
    int MaxRepetitions() const { return m_maxRepetitions; }
    void SetMaxRepetitions(int value) { m_maxRepetitions = value; }

    // The header of a sent SNMPv1 trap.
    QString TrapEnterprise() const { return m_trapEnterprise; }
    void SetTrapEnterprise(const QString &value) { m_trapEnterprise = value; }
    QString TrapAgentAddress() const { return m_trapAgentAddress; }
    // Only a dotted IPv4 address.
    void SetTrapAgentAddress(const QString &value);
    int GenericTrap() const { return m_genericTrap; }
    void SetGenericTrap(int value) { m_genericTrap = value; }
    int SpecificTrap() const { return m_specificTrap; }
    void SetSpecificTrap(int value) { m_specificTrap = value; }
    quint32 TrapTimeStamp() const { return m_trapTimeStamp; }
    void SetTrapTimeStamp(quint32 value) { m_trapTimeStamp = value; }

    std::function<void(int ErrorCode, const QString &Description)> OnError;
    std::function<void(int RequestId, const QByteArray &Community, int NonRepeaters, int MaxRepetitions,
                       const QString &SourceAddress, quint16 SourcePort)> OnGetBulkRequest;
    std::function<void(int RequestId, const QByteArray &Community, const QString &SourceAddress, quint16 SourcePort)> OnGetNextRequest;
    std::function<void(int RequestId, const QByteArray &Community, const QString &SourceAddress, quint16 SourcePort)> OnGetRequest;
    std::function<void(int RequestId, const QByteArray &Community, quint16 ErrorStatus, quint16 ErrorIndex,
                       const QString &SourceAddress, quint16 SourcePort)> OnGetResponse;
    std::function<void(int RequestId, const QByteArray &Community, quint16 ErrorStatus, quint16 ErrorIndex,
                       const QString &SourceAddress, quint16 SourcePort)> OnInformRequest;
    // Every datagram sent (with its destination) or received (with its source), as it is.
    std::function<void(const QByteArray &Packet, const QString &SourceAddress)> OnPDUTrace;
    // The socket is open and can send.
    std::function<void()> OnReadyToSend;
    std::function<void(int RequestId, const QByteArray &Community, const QString &SourceAddress, quint16 SourcePort)> OnSetRequest;
    std::function<void(const QByteArray &Community, const QString &Enterprise, const QString &AgentAddress, int GenericType,
                       int SpecificType, quint32 TimeStamp, const QString &SourceAddress, quint16 SourcePort)> OnTrap;

    enum ErrorCode {
        ErrBuildPacket = 300,
        ErrInvalidIndex = 301,
        ErrTooManyObjects = 302,
        ErrNotIpAddress = 303,
        ErrInvalidAction = 304,
        ErrBadPacket = 305,
        ErrUnknownPdu = 306,
    };
    // The message of one of the client's own codes, or the socket error text for others.
    static QString ErrorText(int code);

private:
    [[noreturn]] static void raise(int code);
    void checkIndex(int index) const;
    void open();
    void send(Snmp::PduTag pdu);
    void reset();
    void readPending();
    void receive(const QByteArray &datagram, const QString &source, quint16 port);
    void dispatch(const Snmp::Message &message, const QString &source, quint16 port);

    QByteArray m_community = QByteArrayLiteral("vemtal");
    int m_inBufferSize = 2048;
    QString m_localHost;
    quint16 m_localPort = 0;
    int m_outBufferSize = 2048;
    QString m_remoteHostText;
    QHostAddress m_remoteAddress;
    quint16 m_remotePort = 0;
    TSNMPVersion m_version = snmpverDefault;

    QList<Snmp::Variable> m_variables;
    int m_requestId = 0;
    int m_errorStatus = 0;
    int m_errorIndex = 0;
    int m_nonRepeaters = 0;
    int m_maxRepetitions = 0;
    QString m_trapEnterprise;
    QString m_trapAgentAddress = QStringLiteral("0.0.0.0");
    int m_genericTrap = 0;
    int m_specificTrap = 0;
    quint32 m_trapTimeStamp = 0;

    QUdpSocket *m_socket = nullptr;
    bool m_reading = false;
};
