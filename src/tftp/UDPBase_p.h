#pragma once

// The blocking datagram sockets of the engine's threads, over the POSIX socket calls. Private
// to the TFTP library: its users see only the server.

#include "tftp/StopSignal.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QString>

#include <netinet/in.h>
#include <poll.h>

// An IPv4 address and port as the socket calls take them.
sockaddr_in makeSocketAddress(const QString &ip, int port);
QString socketAddressIP(const sockaddr_in &address);
int socketAddressPort(const sockaddr_in &address);
bool sameSocketAddress(const sockaddr_in &a, const sockaddr_in &b);

// One blocking datagram socket, used by one thread at a time. Failures raise
// EUDPSocketError, EPackageSizeTooBig or ENotAllBytesSent.
class TUDPBase
{
public:
    enum TReceiveResult { Received, TimedOut, Stopped };

    // ReceiveTimeout: wait without limit.
    static constexpr int kInfiniteTimeout = -2;

    TUDPBase() = default;
    virtual ~TUDPBase();
    Q_DISABLE_COPY_MOVE(TUDPBase)

    // The largest datagram a receive accepts; a larger one is an error, not a partial read.
    int BufferSize() const { return m_bufferSize; }
    void SetBufferSize(int size) { m_bufferSize = size; }
    // Milliseconds of program time (see Platform::setTimeScale).
    int ReceiveTimeout() const { return m_receiveTimeout; }
    void SetReceiveTimeout(int ms) { m_receiveTimeout = ms; }
    // A receive that is waiting returns Stopped once this is raised. Not owned.
    void SetStopSignal(const TStopSignal *signal) { m_stopSignal = signal; }

    void Close();

    // The socket is created at the first use and not bound, so the system gives it a free
    // local port at the first send.
    void SendBuffer(const sockaddr_in &to, QByteArrayView data);

protected:
    int Handle();
    // Waits up to realMs real milliseconds (< 0: without limit) for one datagram. On
    // Received, datagram views an internal buffer that stays valid until the next receive,
    // and length is the datagram's real length: larger than the view when it did not fit.
    TReceiveResult receiveReal(QByteArrayView &datagram, qsizetype &length, sockaddr_in &from, int realMs);
    // Raises the error of a received datagram of length that did not fit.
    void checkFits(qsizetype length) const;

private:
    int m_handle = -1;
    int m_bufferSize = 8192;
    int m_receiveTimeout = kInfiniteTimeout;
    const TStopSignal *m_stopSignal = nullptr;
    QByteArray m_buffer;
};

// Talks to one peer.
class TUDPClient final : public TUDPBase
{
public:
    TUDPClient() = default;
    Q_DISABLE_COPY_MOVE(TUDPClient)

    // Host is a dotted IPv4 address.
    void SetPeer(const QString &host, int port) { m_peer = makeSocketAddress(host, port); }

    void Send(QByteArrayView data) { SendBuffer(m_peer, data); }
    // The moment a receive that starts now gives up after ReceiveTimeout.
    QDeadlineTimer ReceiveDeadline() const;
    // Waits until deadline for a datagram from Host:Port. Datagrams from anyone else are
    // dropped unread, whatever their size, without extending the wait; only the peer's own
    // datagram that is larger than BufferSize is an error.
    TReceiveResult receiveFromPeer(QByteArrayView &datagram, const QDeadlineTimer &deadline);

private:
    sockaddr_in m_peer{};
};

// Blocking helpers on a socket handle, shared by the client and the server's bindings.
void sendDatagram(int handle, const sockaddr_in &to, QByteArrayView data);
// Receives one waiting datagram into buffer (sized to the largest accepted datagram) and
// returns its real length, which exceeds the buffer's size when the datagram was cut.
qsizetype receiveDatagram(int handle, QByteArray &buffer, sockaddr_in &from);
// Raises the error of a datagram of length that did not fit into buffer.
void checkDatagramFits(qsizetype length, const QByteArray &buffer);
// poll() for readability that goes on after signals; realMs < 0 waits without limit.
// Returns the number of ready handles, 0 when the time ran out.
int waitReadable(pollfd *handles, int count, int realMs);
// Program-time milliseconds as real ones.
int realMilliseconds(int ms);
