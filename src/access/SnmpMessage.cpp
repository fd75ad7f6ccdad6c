#include "access/SnmpMessage.h"

#include "access/Ber.h"

#include <algorithm>

namespace Snmp {
namespace {

using Ber::Status;

// Walks the fields of one constructed value, front to back.
class Fields final
{
public:
    explicit Fields(QByteArrayView content) : m_rest(content) {}

    bool atEnd() const { return m_rest.isEmpty(); }

    bool next(Ber::Tlv &tlv)
    {
        if (Ber::readTlv(m_rest, tlv) != Status::Ok)
            return false;
        m_rest = m_rest.sliced(tlv.consumed);
        return true;
    }

    bool next(quint8 tag, QByteArrayView &content)
    {
        Ber::Tlv tlv;
        if (!next(tlv) || tlv.tag != tag)
            return false;
        content = tlv.content;
        return true;
    }

    bool integer(qint32 &value)
    {
        QByteArrayView content;
        return next(Ber::Integer, content) && Ber::readInteger(content, value) == Status::Ok;
    }

    bool word(qint32 &value) { return integer(value) && value >= 0 && value <= 0xFFFF; }

private:
    QByteArrayView m_rest;
};

bool parseIpv4(const QByteArray &text, QByteArray &bytes)
{
    const QList<QByteArray> parts = text.split('.');
    if (parts.size() != 4)
        return false;
    bytes.clear();
    for (const QByteArray &part : parts) {
        if (part.isEmpty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const int number = part.toInt();
        if (number > 255)
            return false;
        bytes.append(char(number));
    }
    return true;
}

QByteArray ipv4Text(QByteArrayView bytes)
{
    QByteArray text;
    for (const char byte : bytes) {
        if (!text.isEmpty())
            text.append('.');
        text.append(QByteArray::number(quint8(byte)));
    }
    return text;
}

bool decodeValue(const Ber::Tlv &tlv, QByteArray &text)
{
    switch (tlv.tag) {
    case Ber::Integer: {
        qint32 value = 0;
        if (Ber::readInteger(tlv.content, value) != Status::Ok)
            return false;
        text = QByteArray::number(value);
        return true;
    }
    case Ber::Null:
        text.clear();
        return tlv.content.isEmpty();
    case Ber::ObjectIdentifier: {
        QString dotted;
        if (Ber::readOid(tlv.content, dotted) != Status::Ok)
            return false;
        text = dotted.toLatin1();
        return true;
    }
    case Ber::IpAddress:
        if (tlv.content.size() != 4)
            return false;
        text = ipv4Text(tlv.content);
        return true;
    case Ber::Counter32:
    case Ber::Gauge32:
    case Ber::TimeTicks:
    case Ber::UInteger32: {
        quint32 value = 0;
        if (Ber::readUnsigned32(tlv.content, value) != Status::Ok)
            return false;
        text = QByteArray::number(value);
        return true;
    }
    case Ber::Counter64: {
        quint64 value = 0;
        if (Ber::readUnsigned64(tlv.content, value) != Status::Ok)
            return false;
        text = QByteArray::number(value);
        return true;
    }
    default:
        text = tlv.content.toByteArray();
        return true;
    }
}

bool decodeVariables(QByteArrayView list, QList<Variable> &variables)
{
    Fields bindings(list);
    while (!bindings.atEnd()) {
        if (variables.size() == kMaxVariables)
            return false;
        QByteArrayView binding;
        if (!bindings.next(Ber::Sequence, binding))
            return false;
        Fields parts(binding);
        QByteArrayView oid;
        Ber::Tlv value;
        Variable variable;
        if (!parts.next(Ber::ObjectIdentifier, oid) || Ber::readOid(oid, variable.id) != Status::Ok
            || !parts.next(value) || !parts.atEnd() || !decodeValue(value, variable.value))
            return false;
        variable.type = value.tag;
        variables.append(variable);
    }
    return true;
}

// Everything after the community: the PDU's header fields and its variable list.
DecodeResult decodePdu(const Ber::Tlv &pdu, Message &message)
{
    Fields fields(pdu.content);
    bool ok = false;
    switch (pdu.tag) {
    case GetRequest:
    case GetNextRequest:
    case GetResponse:
    case SetRequest:
    case InformRequest:
        ok = fields.integer(message.requestId) && fields.word(message.errorStatus) && fields.word(message.errorIndex);
        break;
    case GetBulkRequest:
        ok = fields.integer(message.requestId) && fields.integer(message.nonRepeaters) && message.nonRepeaters >= 0
            && fields.integer(message.maxRepetitions) && message.maxRepetitions >= 0;
        break;
    case TrapV1: {
        if (message.version != 0)
            return DecodeResult::UnknownPdu;
        QByteArrayView enterprise;
        QByteArrayView agent;
        QByteArrayView timeStamp;
        ok = fields.next(Ber::ObjectIdentifier, enterprise) && Ber::readOid(enterprise, message.enterprise) == Status::Ok
            && fields.next(Ber::IpAddress, agent) && agent.size() == 4
            && fields.integer(message.genericTrap) && fields.integer(message.specificTrap)
            && fields.next(Ber::TimeTicks, timeStamp) && Ber::readUnsigned32(timeStamp, message.timeStamp) == Status::Ok;
        if (ok)
            message.agentAddress = QString::fromLatin1(ipv4Text(agent));
        break;
    }
    default:
        return DecodeResult::UnknownPdu;
    }
    QByteArrayView list;
    if (!ok || !fields.next(Ber::Sequence, list) || !fields.atEnd() || !decodeVariables(list, message.variables))
        return DecodeResult::Malformed;
    message.pdu = pdu.tag;
    return DecodeResult::Ok;
}

bool appendInteger(QByteArray &out, qint32 value)
{
    return Ber::appendTlv(out, Ber::Integer, Ber::integerContent(value));
}

bool appendOid(QByteArray &out, const QString &dotted)
{
    QByteArray content;
    return Ber::oidContent(dotted, content) && Ber::appendTlv(out, Ber::ObjectIdentifier, content);
}

bool encodeVariables(const QList<Variable> &variables, QByteArray &out)
{
    QByteArray list;
    for (const Variable &variable : variables) {
        QByteArray binding;
        QByteArray value;
        if (!appendOid(binding, variable.id) || !encodeValue(variable.type, variable.value, value))
            return false;
        binding.append(value);
        if (!Ber::appendTlv(list, Ber::Sequence, binding))
            return false;
    }
    return Ber::appendTlv(out, Ber::Sequence, list);
}

bool encodePduHeader(const Message &message, QByteArray &out)
{
    if (message.pdu == TrapV1) {
        QByteArray agent;
        return appendOid(out, message.enterprise) && parseIpv4(message.agentAddress.toLatin1(), agent)
            && Ber::appendTlv(out, Ber::IpAddress, agent) && appendInteger(out, message.genericTrap)
            && appendInteger(out, message.specificTrap)
            && Ber::appendTlv(out, Ber::TimeTicks, Ber::unsigned32Content(message.timeStamp));
    }
    if (message.pdu == GetBulkRequest)
        return appendInteger(out, message.requestId) && appendInteger(out, message.nonRepeaters)
            && appendInteger(out, message.maxRepetitions);
    return appendInteger(out, message.requestId) && appendInteger(out, message.errorStatus)
        && appendInteger(out, message.errorIndex);
}

} // namespace

DecodeResult decodeMessage(QByteArrayView datagram, Message &message)
{
    Ber::Tlv whole;
    if (Ber::readTlv(datagram, Ber::Sequence, whole) != Status::Ok || whole.consumed != datagram.size())
        return DecodeResult::Malformed;
    Fields fields(whole.content);
    qint32 version = 0;
    if (!fields.integer(version))
        return DecodeResult::Malformed;
    if (version != 0 && version != 1)
        return DecodeResult::BadVersion;
    message = Message();
    message.version = version;
    QByteArrayView community;
    Ber::Tlv pdu;
    if (!fields.next(Ber::OctetString, community) || !fields.next(pdu) || !fields.atEnd())
        return DecodeResult::Malformed;
    message.community = community.toByteArray();
    return decodePdu(pdu, message);
}

bool encodeMessage(const Message &message, QByteArray &datagram)
{
    QByteArray pdu;
    QByteArray content;
    if (!encodePduHeader(message, pdu) || !encodeVariables(message.variables, pdu) || !appendInteger(content, message.version)
        || !Ber::appendTlv(content, Ber::OctetString, message.community) || !Ber::appendTlv(content, message.pdu, pdu))
        return false;
    datagram.clear();
    return Ber::appendTlv(datagram, Ber::Sequence, content);
}

bool encodeValue(int type, const QByteArray &text, QByteArray &tlv)
{
    // Tags beyond one byte, and the high tag-number form, have no place here.
    if (type < 0 || type > 0xFF || (type & 0x1F) == 0x1F)
        return false;
    const quint8 tag = quint8(type);
    bool ok = true;
    QByteArray content;
    switch (tag) {
    case Ber::Integer:
        content = Ber::integerContent(text.toInt(&ok));
        break;
    case Ber::Null:
        break;
    case Ber::ObjectIdentifier:
        ok = Ber::oidContent(QString::fromLatin1(text), content);
        break;
    case Ber::IpAddress:
        ok = parseIpv4(text, content);
        break;
    case Ber::Counter32:
    case Ber::Gauge32:
    case Ber::TimeTicks:
    case Ber::UInteger32:
        content = Ber::unsigned32Content(text.toUInt(&ok));
        break;
    case Ber::Counter64:
        content = Ber::unsigned64Content(text.toULongLong(&ok));
        break;
    default:
        content = text;
        break;
    }
    tlv.clear();
    return ok && Ber::appendTlv(tlv, tag, content);
}

} // namespace Snmp
