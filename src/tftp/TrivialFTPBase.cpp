#include "tftp/TrivialFTPBase.h"

#include "platform/SocketErrors.h"

#include <charconv>

namespace {

QString socketErrorDescription(int code)
{
    // socketErrorText leads with "[code] ", which this message carries in its own place.
    const QString text = Platform::socketErrorText(code);
    return text.mid(text.indexOf(QLatin1Char(']')) + 2);
}

void appendWord(QByteArray &packet, quint16 value)
{
    packet.append(char(value >> 8));
    packet.append(char(value & 0xFF));
}

// The field up to the first zero byte, or the whole rest when there is none; rest moves past
// the field and its zero byte.
QByteArrayView nextField(QByteArrayView &rest)
{
    const qsizetype end = rest.indexOf('\0');
    if (end < 0) {
        const QByteArrayView field = rest;
        rest = {};
        return field;
    }
    const QByteArrayView field = rest.first(end);
    rest = rest.sliced(end + 1);
    return field;
}

bool equalsIgnoringCase(QByteArrayView field, const char *word)
{
    return qstrnicmp(field.data(), field.size(), word, -1) == 0;
}

bool isKnownMode(QByteArrayView mode)
{
    return equalsIgnoringCase(mode, "octet") || equalsIgnoringCase(mode, "binary")
        || equalsIgnoringCase(mode, "netascii");
}

bool parseDecimal(QByteArrayView text, int &value)
{
    const char *first = text.data();
    const char *last = first + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    return !text.isEmpty() && error == std::errc() && end == last;
}

} // namespace

EUDPSocketError::EUDPSocketError(int code)
    : Exception(QStringLiteral("Socket Error # %1\r\n%2").arg(code).arg(socketErrorDescription(code)))
    , m_code(code)
{
}

QString tftpText(QByteArrayView bytes)
{
    return QString::fromLocal8Bit(bytes);
}

QByteArray makeAckPacket(quint16 block)
{
    QByteArray packet;
    appendWord(packet, TFTP_ACK);
    appendWord(packet, block);
    return packet;
}

QByteArray makeErrorPacket(quint16 code, const QString &message)
{
    QByteArray packet;
    appendWord(packet, TFTP_ERROR);
    appendWord(packet, code);
    packet.append(message.toLocal8Bit());
    packet.append('\0');
    return packet;
}

QByteArray makeOptionAckPacket(int blockSize)
{
    QByteArray packet;
    appendWord(packet, TFTP_OACK);
    packet.append("blksize");
    packet.append('\0');
    packet.append(QByteArray::number(blockSize));
    packet.append('\0');
    return packet;
}

void startDataPacket(QByteArray &packet, quint16 block)
{
    // resize keeps the allocation (clear would free it), so a transfer reuses one buffer.
    packet.resize(kTftpHeaderSize);
    char *const header = packet.data();
    header[0] = char(TFTP_DATA >> 8);
    header[1] = char(TFTP_DATA & 0xFF);
    header[2] = char(block >> 8);
    header[3] = char(block & 0xFF);
}

bool readWord(QByteArrayView datagram, qsizetype offset, quint16 &value)
{
    if (offset < 0 || datagram.size() - offset < 2)
        return false;
    value = quint16((quint8(datagram[offset]) << 8) | quint8(datagram[offset + 1]));
    return true;
}

TTFTPRequest parseRequest(QByteArrayView datagram)
{
    TTFTPRequest request;
    if (!readWord(datagram, 0, request.Opcode)) {
        request.Status = TTFTPRequest::Truncated;
        return request;
    }
    if (request.Opcode != TFTP_RRQ && request.Opcode != TFTP_WRQ) {
        request.Status = TTFTPRequest::UnexpectedOperation;
        return request;
    }
    QByteArrayView rest = datagram.sliced(2);
    request.FileName = tftpText(nextField(rest));
    const QByteArrayView mode = nextField(rest);
    if (!isKnownMode(mode)) {
        request.Status = TTFTPRequest::UnsupportedMode;
        request.BadText = tftpText(mode);
        return request;
    }
    // Options come in any order (curl puts "tsize" first); only "blksize" is acknowledged.
    while (!rest.isEmpty()) {
        const QByteArrayView name = nextField(rest);
        const QByteArrayView value = nextField(rest);
        if (!equalsIgnoringCase(name, "blksize"))
            continue;
        if (!parseDecimal(value, request.RequestedBlockSize)) {
            request.Status = TTFTPRequest::BadBlockSize;
            request.BadText = tftpText(value);
            request.RequestedBlockSize = 0;
        }
        break;
    }
    return request;
}

int optionAckBlockSize(int requested)
{
    // An OACK may grant at most what was asked for (RFC 2348), so a request below the default
    // is left unacknowledged and the transfer keeps 512-byte blocks; clients reject a larger grant.
    if (requested < kTftpDefaultBlockSize)
        return 0;
    return qMin(requested, kTftpMaxBlockSize);
}
