#include "access/Ber.h"

#include <QStringList>

namespace Ber {
namespace {

constexpr quint8 kConstructed = 0x20;
constexpr quint8 kHighTagNumber = 0x1F;
constexpr qsizetype kLongestLength = 0xFFFF;

void appendLength(QByteArray &out, qsizetype length, bool constructed)
{
    if (length < 0x80) {
        out.append(char(length));
        return;
    }
    if (!constructed && length <= 0xFF) {
        out.append(char(0x81));
        out.append(char(length));
        return;
    }
    out.append(char(0x82));
    out.append(char(length >> 8));
    out.append(char(length & 0xFF));
}

// The content bytes of an unsigned number whose leading zero bytes may be dropped down to
// `minimum`, with a zero byte put back when the top bit would read as a sign.
QByteArray unsignedContent(quint64 value, int width, int minimum)
{
    QByteArray bytes;
    for (int i = width - 1; i >= 0; --i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
    qsizetype skip = 0;
    while (bytes.size() - skip > minimum && bytes.at(skip) == 0)
        ++skip;
    bytes.remove(0, skip);
    if (quint8(bytes.at(0)) & 0x80)
        bytes.prepend('\0');
    return bytes;
}

Status readUnsigned(QByteArrayView content, int width, quint64 &value)
{
    if (content.isEmpty())
        return Status::BadValue;
    // A set top bit without a leading zero byte is a negative number.
    if (quint8(content.front()) & 0x80)
        return Status::BadValue;
    if (content.size() == width + 1 && content.front() == 0)
        content = content.sliced(1);
    if (content.size() > width)
        return Status::BadValue;
    value = 0;
    for (const char byte : content)
        value = (value << 8) | quint8(byte);
    return Status::Ok;
}

bool parseArc(QStringView text, quint32 &arc)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    bool ok = false;
    arc = text.toUInt(&ok);
    return ok;
}

void appendSubIdentifier(QByteArray &out, quint64 value)
{
    char groups[10];
    int count = 0;
    do {
        groups[count++] = char(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1)
        out.append(char(groups[--count] | 0x80));
    out.append(groups[0]);
}

} // namespace

Status readTlv(QByteArrayView bytes, Tlv &tlv)
{
    if (bytes.size() < 2)
        return Status::Truncated;
    const quint8 tag = quint8(bytes[0]);
    if ((tag & kHighTagNumber) == kHighTagNumber)
        return Status::BadTag;
    const quint8 first = quint8(bytes[1]);
    qsizetype header = 2;
    quint64 length = first;
    if (first & 0x80) {
        const int lengthBytes = first & 0x7F;
        if (lengthBytes == 0 || lengthBytes > 4)
            return Status::BadLength;
        if (bytes.size() < 2 + lengthBytes)
            return Status::Truncated;
        length = 0;
        for (int i = 0; i < lengthBytes; ++i)
            length = (length << 8) | quint8(bytes[2 + i]);
        header += lengthBytes;
    }
    if (length > quint64(bytes.size() - header))
        return Status::Truncated;
    tlv.tag = tag;
    tlv.content = bytes.sliced(header, qsizetype(length));
    tlv.consumed = header + qsizetype(length);
    return Status::Ok;
}

Status readTlv(QByteArrayView bytes, quint8 expectedTag, Tlv &tlv)
{
    const Status status = readTlv(bytes, tlv);
    if (status == Status::Ok && tlv.tag != expectedTag)
        return Status::BadTag;
    return status;
}

Status readInteger(QByteArrayView content, qint32 &value)
{
    if (content.isEmpty() || content.size() > 4)
        return Status::BadValue;
    quint32 bits = (quint8(content.front()) & 0x80) ? 0xFFFFFFFFu : 0u;
    for (const char byte : content)
        bits = (bits << 8) | quint8(byte);
    value = qint32(bits);
    return Status::Ok;
}

Status readUnsigned32(QByteArrayView content, quint32 &value)
{
    quint64 wide = 0;
    const Status status = readUnsigned(content, 4, wide);
    if (status == Status::Ok)
        value = quint32(wide);
    return status;
}

Status readUnsigned64(QByteArrayView content, quint64 &value)
{
    return readUnsigned(content, 8, value);
}

Status readOid(QByteArrayView content, QString &dotted)
{
    if (content.isEmpty())
        return Status::BadValue;
    QStringList arcs;
    quint32 subIdentifier = 0;
    bool inside = false;
    for (const char byte : content) {
        if (subIdentifier > (0xFFFFFFFFu >> 7))
            return Status::BadValue;
        subIdentifier = (subIdentifier << 7) | (quint8(byte) & 0x7F);
        inside = quint8(byte) & 0x80;
        if (inside)
            continue;
        if (arcs.isEmpty()) {
            // The first sub-identifier carries two arcs; only the arc 2 may have a second
            // arc of 40 or more.
            const quint32 first = subIdentifier < 80 ? subIdentifier / 40 : 2;
            arcs << QString::number(first) << QString::number(subIdentifier - 40 * first);
        } else {
            arcs << QString::number(subIdentifier);
        }
        subIdentifier = 0;
    }
    if (inside)
        return Status::Truncated;
    dotted = arcs.join(u'.');
    return Status::Ok;
}

bool appendTlv(QByteArray &out, quint8 tag, QByteArrayView content)
{
    if (content.size() > kLongestLength)
        return false;
    out.append(char(tag));
    appendLength(out, content.size(), tag & kConstructed);
    out.append(content);
    return true;
}

QByteArray integerContent(qint32 value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((quint32(value) >> shift) & 0xFF));
    // A leading byte may go while the next byte's top bit still carries the sign.
    while (bytes.size() > 1) {
        const quint8 lead = quint8(bytes.at(0));
        const bool nextNegative = quint8(bytes.at(1)) & 0x80;
        if (!((lead == 0x00 && !nextNegative) || (lead == 0xFF && nextNegative)))
            break;
        bytes.remove(0, 1);
    }
    return bytes;
}

QByteArray unsigned32Content(quint32 value)
{
    return unsignedContent(value, 4, 4);
}

QByteArray unsigned64Content(quint64 value)
{
    return unsignedContent(value, 8, 1);
}

bool oidContent(QStringView dotted, QByteArray &content)
{
    const QList<QStringView> texts = dotted.isEmpty() ? QList<QStringView>() : dotted.split(u'.');
    QList<quint32> arcs;
    for (const QStringView text : texts) {
        quint32 arc = 0;
        if (!parseArc(text, arc))
            return false;
        arcs.append(arc);
    }
    content.clear();
    if (arcs.size() < 2) {
        content.append('\0');
        return true;
    }
    if (arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40))
        return false;
    const quint64 combined = 40 * quint64(arcs[0]) + arcs[1];
    if (combined > 0xFFFFFFFFu)
        return false;
    appendSubIdentifier(content, combined);
    for (qsizetype i = 2; i < arcs.size(); ++i)
        appendSubIdentifier(content, arcs[i]);
    return true;
}

} // namespace Ber
