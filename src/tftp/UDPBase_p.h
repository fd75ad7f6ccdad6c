#pragma once

// The blocking datagram sockets of the engine's threads, over the POSIX socket calls. Private
// to the TFTP library: its users see only the server.

#include "tftp/StopSignal.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <netinet/in.h>
#include <poll.h>
#include <sys/types.h>

#include <chrono>
#include <optional>

// An IPv4 address and port as the socket calls take them.
sockaddr_in makeSocketAddress(const QString &ip, int port);
QString socketAddressIP(const sockaddr_in &address);
int socketAddressPort(const sockaddr_in &address);

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
    // A receive that is waiting returns Stopped once this is raised. Not owned; set before
    // the first use of the socket.
    void SetStopSignal(TStopSignal *signal) { m_stopSignal = signal; }

    void Close();

protected:
    // Makes the socket at its first use and connects it to peer: the system gives it a free
    // local port, sends to peer without looking up the route again for each datagram, and
    // passes on only peer's datagrams. The calls below need it made.
    void openTo(const sockaddr_in &peer);
    // Sends one datagram to the connected peer.
    void sendToPeer(QByteArrayView data);
    // Waits up to realMs real milliseconds (< 0: without limit) for one datagram from the
    // connected peer. On Received, datagram views an internal buffer that stays valid until
    // the next receive, and length is the datagram's real length: larger than the view when
    // it did not fit. nullopt when the wait ended early with nothing to report: a signal
    // interrupted it, or the peer's host reported an earlier datagram undeliverable.
    std::optional<TReceiveResult> receiveReal(QByteArrayView &datagram, qsizetype &length, int realMs);
    // The same in one blocking call, without poll(): for a wait that has all of its time
    // ahead.
    std::optional<TReceiveResult> receiveBlocking(QByteArrayView &datagram, qsizetype &length, int realMs);
    // Raises the error of a received datagram of length that did not fit.
    void checkFits(qsizetype length) const;

private:
    void setBlockingTimeout(int realMs);
    std::optional<TReceiveResult> received(ssize_t result, QByteArrayView &datagram, qsizetype &length);

    int m_handle = -1;
    int m_bufferSize = 8192;
    int m_receiveTimeout = kInfiniteTimeout;
    // The socket's own receive time-out in real milliseconds, -1 for none.
    int m_blockingTimeoutMs = -1;
    TStopSignal *m_stopSignal = nullptr;
    QByteArray m_buffer;
};

// Talks to one peer.
class TUDPClient final : public TUDPBase
{
public:
    TUDPClient() = default;
    Q_DISABLE_COPY_MOVE(TUDPClient)

    // Host is a dotted IPv4 address. Set before the first use of the socket.
    void SetPeer(const QString &host, int port) { m_peer = makeSocketAddress(host, port); }

    void Send(QByteArrayView data);
    // Starts a wait of ReceiveTimeout, from now, for the peer's answer.
    void StartWait();
    // Waits until the time of the wait started last is up for a datagram from Host:Port.
    // Datagrams from anyone else never reach the socket, whatever their size, and do not
    // extend the wait; only the peer's own datagram that is larger than BufferSize is an
    // error.
    TReceiveResult receiveFromPeer(QByteArrayView &datagram);

private:
    int remainingWaitMs() const;

    sockaddr_in m_peer{};
    // Real milliseconds, -1 without limit.
    int m_waitMs = -1;
    std::chrono::steady_clock::time_point m_waitStart;
    // Nothing has been received since the wait started.
    bool m_waitFresh = false;
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
