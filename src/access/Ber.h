#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The basic encoding rules as SNMP uses them, on bytes only. Readers take the bytes that
// remain and never look past them; writers refuse what the chosen forms cannot carry.
namespace Ber {

enum Tag : quint8 {
    Integer = 0x02,
    OctetString = 0x04,
    Null = 0x05,
    ObjectIdentifier = 0x06,
    Sequence = 0x30,
    IpAddress = 0x40,
    Counter32 = 0x41,
    Gauge32 = 0x42,
    TimeTicks = 0x43,
    Opaque = 0x44,
    NsapAddress = 0x45,
    Counter64 = 0x46,
    UInteger32 = 0x47,
};

enum class Status {
    Ok,
    Truncated,    // a field runs past the bytes that remain
    BadLength,    // the indefinite form, or more length bytes than supported
    BadTag,       // the high tag-number form, or a tag other than the one expected
    BadValue,     // a content that its type cannot hold
};

// One tag-length-value taken from the front of a buffer.
struct Tlv
{
    quint8 tag = 0;
    QByteArrayView content;
    qsizetype consumed = 0; // tag, length and content bytes
};

// Lengths may come in the short form or the long form with 1 to 4 length bytes.
Status readTlv(QByteArrayView bytes, Tlv &tlv);
// Like readTlv, and the tag must be the expected one.
Status readTlv(QByteArrayView bytes, quint8 expectedTag, Tlv &tlv);

// Two's complement in 1 to 4 bytes.
Status readInteger(QByteArrayView content, qint32 &value);
// A non-negative number in up to 4 bytes, or 5 with a leading zero byte.
Status readUnsigned32(QByteArrayView content, quint32 &value);
// A non-negative number in up to 8 bytes, or 9 with a leading zero byte.
Status readUnsigned64(QByteArrayView content, quint64 &value);
// Dotted decimal; every sub-identifier must fit 32 bits and end inside the content.
Status readOid(QByteArrayView content, QString &dotted);

// Tag, length and content; false when the length has no form here (above 65535).
// Constructed values (tag bit 0x20) take the short form below 128 and otherwise always
// 0x82 with two bytes; primitive values take 0x81 from 128 to 255 and 0x82 from 256.
bool appendTlv(QByteArray &out, quint8 tag, QByteArrayView content);

// The shortest two's complement form.
QByteArray integerContent(qint32 value);
// Always four bytes, with a leading zero byte when the top bit is set.
QByteArray unsigned32Content(quint32 value);
// The shortest form, with a leading zero byte when the top bit is set.
QByteArray unsigned64Content(quint64 value);
// The first two arcs combined as 40 * first + second; fewer than two arcs give the single
// byte 0. False for a text that is not an object identifier.
bool oidContent(QStringView dotted, QByteArray &content);

} // namespace Ber
