#pragma once

#include "platform/Exceptions.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// TFTP wire format (RFC 1350 with the block-size option of RFC 2347/2348), the errors the
// server answers with, and the parser of the requests that reach the listening port.

enum TTFTPOpcode : quint16 {
    TFTP_RRQ = 1,
    TFTP_WRQ = 2,
    TFTP_DATA = 3,
    TFTP_ACK = 4,
    TFTP_ERROR = 5,
    TFTP_OACK = 6,
};

constexpr int kTftpDefaultBlockSize = 512;
// RFC 2348's ceiling: the largest block whose DATA datagram still fits into one UDP datagram.
constexpr int kTftpMaxBlockSize = 65464;
constexpr int kTftpHeaderSize = 4;

// The errors of a transfer; the class decides the code of the ERROR packet the peer gets.
class ETFTPException : public Exception
{
public:
    ETFTPException(quint16 code, const QString &message) : Exception(message), m_code(code) {}
    quint16 code() const { return m_code; }

private:
    quint16 m_code;
};

template <quint16 Code>
class ETFTPError final : public ETFTPException
{
public:
    explicit ETFTPError(const QString &message) : ETFTPException(Code, message) {}
};

using ETFTPFileNotFound = ETFTPError<1>;
using ETFTPAccessViolation = ETFTPError<2>;
using ETFTPAllocationExceeded = ETFTPError<3>;
using ETFTPIllegalOperation = ETFTPError<4>;
using ETFTPUnknownTransferID = ETFTPError<5>;
using ETFTPFileAlreadyExists = ETFTPError<6>;
using ETFTPNoSuchUser = ETFTPError<7>;
using ETFTPOptionNegotiationFailed = ETFTPError<8>;

// The listening port is held by another socket.
class ECouldNotBindSocket final : public Exception
{
public:
    ECouldNotBindSocket()
        : Exception(QStringLiteral("Could not bind socket. Address and port are already in use.")) {}
};

// Any other failure of a socket call, with the code and text of Platform::socketErrorText.
class EUDPSocketError final : public Exception
{
public:
    explicit EUDPSocketError(int code);
    int code() const { return m_code; }

private:
    int m_code;
};

class EPackageSizeTooBig final : public Exception
{
public:
    EPackageSizeTooBig() : Exception(QStringLiteral("Package Size Too Big.")) {}
};

class ENotAllBytesSent final : public Exception
{
public:
    ENotAllBytesSent() : Exception(QStringLiteral("Not all bytes sent.")) {}
};

// The peer ended the transfer with an ERROR packet, or the server is being destroyed.
class ETFTPAbort final : public Exception
{
public:
    ETFTPAbort() : Exception(QStringLiteral("Operation aborted")) {}
};

// Text fields travel as the bytes of the platform's file names.
QString tftpText(QByteArrayView bytes);

QByteArray makeAckPacket(quint16 block);
QByteArray makeErrorPacket(quint16 code, const QString &message);
QByteArray makeOptionAckPacket(int blockSize);
// Replaces packet's content with a DATA header for block; the caller appends the bytes.
void startDataPacket(QByteArray &packet, quint16 block);

// The 16-bit field at offset, or false when the datagram ends before it.
bool readWord(QByteArrayView datagram, qsizetype offset, quint16 &value);

// A read or write request as it arrived on the listening port.
struct TTFTPRequest
{
    enum Status {
        Ok,
        Truncated,           // fewer than the 2 bytes of the opcode
        UnexpectedOperation, // an opcode other than RRQ and WRQ
        UnsupportedMode,     // BadText holds the mode
        BadBlockSize,        // BadText holds the "blksize" value
    };

    Status Status = Ok;
    quint16 Opcode = 0;
    QString FileName;
    // The value of the "blksize" option; 0 when the request has none.
    int RequestedBlockSize = 0;
    QString BadText;
};

TTFTPRequest parseRequest(QByteArrayView datagram);

// The block size that an OACK grants for a requested one, or 0 when the request is answered
// without OACK and the transfer keeps the default block size.
int optionAckBlockSize(int requested);
