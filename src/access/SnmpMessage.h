#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// SNMPv1 and SNMPv2c messages (RFC 1157 and RFC 1905 layouts) with their values as text, as
// the manager's variable list holds them. No sockets: the manager and the simulated switch's
// agent share this code.
namespace Snmp {

enum PduTag : quint8 {
    GetRequest = 0xA0,
    GetNextRequest = 0xA1,
    GetResponse = 0xA2,
    SetRequest = 0xA3,
    TrapV1 = 0xA4,
    GetBulkRequest = 0xA5,
    InformRequest = 0xA6,
    TrapV2 = 0xA7,
};

constexpr int kMaxVariables = 256;

// One variable binding: dotted identifier, ASN.1 tag of the value and the value as text
// (decimal for numbers, dotted for identifiers and addresses, the bytes for strings).
struct Variable
{
    QString id;
    int type = 0x04;
    QByteArray value;
};

struct Message
{
    int version = 0; // 0: SNMPv1, 1: SNMPv2c
    QByteArray community;
    quint8 pdu = GetRequest;
    qint32 requestId = 0;
    qint32 errorStatus = 0;
    qint32 errorIndex = 0;
    // In place of the error status and index in a GetBulkRequest.
    qint32 nonRepeaters = 0;
    qint32 maxRepetitions = 0;
    // The header of an SNMPv1 trap, which has no request id.
    QString enterprise;
    QString agentAddress;
    qint32 genericTrap = 0;
    qint32 specificTrap = 0;
    quint32 timeStamp = 0;
    QList<Variable> variables;
};

enum class DecodeResult {
    Ok,
    BadVersion,
    UnknownPdu,
    Malformed,
};

// The whole datagram must be one message; nothing is read outside it.
DecodeResult decodeMessage(QByteArrayView datagram, Message &message);

// False when a value text does not fit its type or a length has no form.
bool encodeMessage(const Message &message, QByteArray &datagram);

// The tag, length and content of one value given as text.
bool encodeValue(int type, const QByteArray &text, QByteArray &tlv);

} // namespace Snmp
