#include "access/TelnetClient.h"

#include "platform/Events.h"
#include "platform/Exceptions.h"
#include "platform/HostAddress.h"
#include "platform/SocketErrors.h"

#include <QHostInfo>
#include <QTcpSocket>

namespace {

constexpr int kWill = 251;
constexpr int kWont = 252;
constexpr int kDo = 253;

} // namespace

TTelnetClient::TTelnetClient(QObject *owner) : QObject(owner) {}

TTelnetClient::~TTelnetClient()
{
    // A derived object's members, and the owners the handlers reach, are gone by now: the
    // socket's signals must not reach close(), which would raise OnDisconnected.
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

QString TTelnetClient::ErrorText(int code)
{
    switch (code) {
    case ErrRemotePortBusy: return QStringLiteral("You cannot change the RemotePort at this time. A connection is in progress.");
    case ErrRemoteHostBusy: return QStringLiteral("You cannot change the RemoteHost at this time. A connection is in progress.");
    case ErrNoRemoteHost: return QStringLiteral("The RemoteHost address is invalid (0.0.0.0).");
    case ErrAlreadyConnected: return QStringLiteral("Already connected. If you want to reconnect, close the current connection first.");
    case ErrLocalPortBusy: return QStringLiteral("You cannot change the LocalPort at this time. A connection is in progress.");
    case ErrRemotePortZero: return QStringLiteral("RemotePort can't be zero. Please specify a valid service port number.");
    case ErrSubOptionTooLong: return QStringLiteral("SubOption string too long. Truncated.");
    default: return Platform::socketErrorText(code);
    }
}

void TTelnetClient::raise(int code)
{
    throw ESocketError(code, ErrorText(code));
}

QString TTelnetClient::LocalHost() const
{
    if (m_connected)
        return m_socket->localAddress().toString();
    return m_localHost.isEmpty() ? QHostInfo::localHostName() : m_localHost;
}

void TTelnetClient::SetLocalPort(quint16 value)
{
    if (m_socket)
        raise(ErrLocalPortBusy);
    m_localPort = value;
}

void TTelnetClient::SetRemotePort(quint16 value)
{
    if (m_socket)
        raise(ErrRemotePortBusy);
    m_remotePort = value;
}

void TTelnetClient::SetRemoteHost(const QString &value)
{
    if (m_socket)
        raise(ErrRemoteHostBusy);
    m_remoteAddress = Platform::resolveIPv4(value);
    m_remoteHostText = value;
}

void TTelnetClient::SetConnected(bool value)
{
    if (!value) {
        if (m_socket)
            close(0);
        return;
    }
    if (m_connected)
        return;
    if (m_socket)
        raise(ErrAlreadyConnected);
    if (m_remoteAddress.isNull() || m_remoteAddress == QHostAddress::AnyIPv4)
        raise(ErrNoRemoteHost);
    if (m_remotePort == 0)
        raise(ErrRemotePortZero);

    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &TTelnetClient::socketConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &TTelnetClient::readAvailable);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &TTelnetClient::socketFailed);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { close(0); });
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { Platform::emitIfSet(OnReadyToSend); });

    if ((!m_localHost.isEmpty() || m_localPort != 0)
        && !m_socket->bind(m_localHost.isEmpty() ? QHostAddress(QHostAddress::AnyIPv4) : QHostAddress(m_localHost), m_localPort)) {
        const int code = Platform::socketErrorFromQt(m_socket->error());
        m_socket->deleteLater();
        m_socket = nullptr;
        raise(code);
    }
    m_socket->connectToHost(m_remoteAddress, m_remotePort);
}

void TTelnetClient::socketConnected()
{
    m_connected = true;
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, m_keepAlive ? 1 : 0);
    m_parser = TelnetParser();
    Platform::emitIfSet(OnConnected, 0, QStringLiteral("OK"));
}

void TTelnetClient::socketFailed()
{
    const QAbstractSocket::SocketError error = m_socket->error();
    if (!m_connected) {
        const int code = Platform::socketErrorFromQt(error);
        QTcpSocket *socket = std::exchange(m_socket, nullptr);
        socket->disconnect(this);
        socket->deleteLater();
        Platform::emitIfSet(OnConnected, code, Platform::socketErrorText(code));
        return;
    }
    // Qt reports the server's clean close, and a reset, as "remote host closed".
    close(error == QAbstractSocket::RemoteHostClosedError ? 0 : Platform::socketErrorFromQt(error));
}

void TTelnetClient::readAvailable()
{
    if (m_reading || !m_socket)
        return;
    m_reading = true;
    const QByteArray bytes = m_socket->readAll();
    if (m_transparent)
        data(bytes);
    else
        m_parser.feed(bytes, *this);
    m_reading = false;
}

void TTelnetClient::close(int statusCode)
{
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    if (!m_reading && socket->bytesAvailable() > 0) {
        const QByteArray rest = socket->readAll();
        if (m_transparent)
            data(rest);
        else
            m_parser.feed(rest, *this);
    }
    const bool wasConnected = std::exchange(m_connected, false);
    socket->flush();
    socket->abort();
    socket->deleteLater();
    m_bytesSent = 0;
    if (wasConnected)
        Platform::emitIfSet(OnDisconnected, statusCode, statusCode == 0 ? QStringLiteral("OK") : Platform::socketErrorText(statusCode));
}

void TTelnetClient::Send(const QByteArray &text)
{
    if (!m_connected)
        raise(Platform::WsaNotConnected);
    if (text.isEmpty())
        return;
    const qint64 taken = m_socket->write(text);
    if (taken < 0) {
        m_bytesSent = 0;
        raise(Platform::socketErrorFromQt(m_socket->error()));
    }
    m_bytesSent = int(taken);
    m_socket->flush();
}

void TTelnetClient::data(const QByteArray &text)
{
    Platform::emitIfSet(OnDataIn, text);
}

void TTelnetClient::command(int code)
{
    Platform::emitIfSet(OnCommand, code);
}

void TTelnetClient::option(int verb, int code)
{
    switch (verb) {
    case kWill: Platform::emitIfSet(OnWill, code); break;
    case kWont: Platform::emitIfSet(OnWont, code); break;
    case kDo: Platform::emitIfSet(OnDo, code); break;
    default: Platform::emitIfSet(OnDont, code); break;
    }
}

void TTelnetClient::subOption(const QByteArray &bytes)
{
    Platform::emitIfSet(OnSubOption, bytes);
}

void TTelnetClient::subOptionTooLong()
{
    Platform::emitIfSet(OnError, int(ErrSubOptionTooLong), ErrorText(ErrSubOptionTooLong));
}
