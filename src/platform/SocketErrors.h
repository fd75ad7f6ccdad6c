#pragma once

#include <QAbstractSocket>
#include <QString>

// The socket error codes and texts that operators and logs of this program have always
// shown, mapped from the platform's errno values and Qt's socket errors.
namespace Platform {

enum SocketErrorCode {
    WsaInterrupted = 10004,
    WsaAccessDenied = 10013,
    WsaInvalidArgument = 10022,
    WsaWouldBlock = 10035,
    WsaNotSocket = 10038,
    WsaMessageTooLong = 10040,
    WsaAddressInUse = 10048,
    WsaAddressNotAvailable = 10049,
    WsaNetworkDown = 10050,
    WsaNetworkUnreachable = 10051,
    WsaConnectionAborted = 10053,
    WsaConnectionReset = 10054,
    WsaNoBufferSpace = 10055,
    WsaNotConnected = 10057,
    WsaTimedOut = 10060,
    WsaConnectionRefused = 10061,
    WsaHostUnreachable = 10065,
    WsaHostNotFound = 11001,
};

// "[code] text", or "[code] (no description available)" for a code outside the table.
QString socketErrorText(int code);

int socketErrorFromErrno(int error);
int socketErrorFromQt(QAbstractSocket::SocketError error);

} // namespace Platform
