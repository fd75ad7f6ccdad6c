#include "UDPBase_p.h"

#include "platform/Clock.h"
#include "platform/SocketErrors.h"
#include "tftp/TrivialFTPBase.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <utility>

namespace {

[[noreturn]] void raiseSocketError(int error)
{
    throw EUDPSocketError(Platform::socketErrorFromErrno(error));
}

int remainingMs(const QDeadlineTimer &deadline)
{
    return deadline.isForever() ? -1 : int(deadline.remainingTime());
}

// What a connected socket reports, once, at its next call after the peer's host or a router
// answered an earlier datagram with an ICMP error (an unreachable port, host or network).
// The earlier datagram is lost either way; what becomes of the transfer is for the peer's
// silence to decide, as it is on a socket that is not connected and hears nothing of such
// answers.
bool reportsUndeliveredDatagram(int error)
{
    switch (error) {
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENONET:
    case ENOPROTOOPT:
    case EOPNOTSUPP:
    case EPROTO:
        return true;
    default:
        return false;
    }
}

// One send() or sendto() (to nullptr: the connected peer), repeated after signals.
ssize_t sendOnce(int handle, const sockaddr_in *to, QByteArrayView data)
{
    ssize_t sent;
    do {
        sent = ::sendto(handle, data.data(), size_t(data.size()), 0, reinterpret_cast<const sockaddr *>(to),
                        to ? sizeof *to : 0);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

// Raises the failure of a send that returned sent for data.
void checkSent(ssize_t sent, QByteArrayView data)
{
    if (sent < 0) {
        if (errno == EMSGSIZE)
            throw EPackageSizeTooBig();
        raiseSocketError(errno);
    }
    if (sent != data.size())
        throw ENotAllBytesSent();
}

// Wakes a receive that blocks on socket, and every later one, with an empty result.
void stopReceiving(int socket)
{
    (void)::shutdown(socket, SHUT_RD);
}

} // namespace

TStopSignal::TStopSignal() : m_handle(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_handle < 0)
        raiseSocketError(errno);
}

TStopSignal::~TStopSignal()
{
    ::close(m_handle);
}

void TStopSignal::Raise()
{
    m_raised.store(true, std::memory_order_release);
    // The counter is never read back, so the handle stays readable from now on.
    (void)eventfd_write(m_handle, 1);
    const std::lock_guard lock(m_watchedLock);
    for (const int socket : m_watched)
        stopReceiving(socket);
}

void TStopSignal::Watch(int socket)
{
    const std::lock_guard lock(m_watchedLock);
    m_watched.push_back(socket);
    if (Raised())
        stopReceiving(socket);
}

void TStopSignal::Unwatch(int socket)
{
    const std::lock_guard lock(m_watchedLock);
    std::erase(m_watched, socket);
}

sockaddr_in makeSocketAddress(const QString &ip, int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    if (ip.isEmpty())
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    else if (inet_pton(AF_INET, ip.toLatin1().constData(), &address.sin_addr) != 1)
        throw EUDPSocketError(Platform::WsaHostNotFound);
    return address;
}

QString socketAddressIP(const sockaddr_in &address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

int socketAddressPort(const sockaddr_in &address)
{
    return ntohs(address.sin_port);
}

int realMilliseconds(int ms)
{
    if (ms <= 0)
        return ms;
    // However fast the program's clock runs, a peer has this much real time to answer: on a
    // busy machine a hurried clock must not turn a slow answer into a lost transfer.
    constexpr int kLeastRealWaitMs = 200;
    return std::max(std::min(ms, kLeastRealWaitMs), int(std::lround(ms * Platform::timeScale())));
}

int waitReadable(pollfd *handles, int count, int realMs)
{
    const QDeadlineTimer deadline(realMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(realMs));
    for (;;) {
        const int ready = ::poll(handles, nfds_t(count), remainingMs(deadline));
        if (ready >= 0)
            return ready;
        if (errno != EINTR)
            raiseSocketError(errno);
    }
}

void sendDatagram(int handle, const sockaddr_in &to, QByteArrayView data)
{
    checkSent(sendOnce(handle, &to, data), data);
}

qsizetype receiveDatagram(int handle, QByteArray &buffer, sockaddr_in &from)
{
    socklen_t fromSize = sizeof from;
    ssize_t received;
    do {
        // MSG_TRUNC reports the datagram's real length, so an oversized one is detected.
        received = ::recvfrom(handle, buffer.data(), size_t(buffer.size()), MSG_TRUNC,
                              reinterpret_cast<sockaddr *>(&from), &fromSize);
    } while (received < 0 && errno == EINTR);
    if (received < 0)
        raiseSocketError(errno);
    return received;
}

void checkDatagramFits(qsizetype length, const QByteArray &buffer)
{
    if (length > buffer.size())
        throw EUDPSocketError(Platform::WsaMessageTooLong);
}

TUDPBase::~TUDPBase()
{
    Close();
}

void TUDPBase::Close()
{
    if (m_handle >= 0) {
        if (m_stopSignal)
            m_stopSignal->Unwatch(m_handle);
        ::close(m_handle);
        m_handle = -1;
        m_blockingTimeoutMs = -1;
    }
}

void TUDPBase::openTo(const sockaddr_in &peer)
{
    if (m_handle >= 0)
        return;
    const int handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        raiseSocketError(errno);
    if (::connect(handle, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0) {
        const int error = errno;
        ::close(handle);
        raiseSocketError(error);
    }
    m_handle = handle;
    if (m_stopSignal)
        m_stopSignal->Watch(m_handle);
}

void TUDPBase::sendToPeer(QByteArrayView data)
{
    ssize_t sent = sendOnce(m_handle, nullptr, data);
    // The error of an earlier datagram took this one's turn, which is not sent yet.
    if (sent < 0 && reportsUndeliveredDatagram(errno))
        sent = sendOnce(m_handle, nullptr, data);
    checkSent(sent, data);
}

std::optional<TUDPBase::TReceiveResult> TUDPBase::receiveReal(QByteArrayView &datagram, qsizetype &length, int realMs)
{
    pollfd handles[2] = {{m_handle, POLLIN, 0}, {m_stopSignal ? m_stopSignal->Handle() : -1, POLLIN, 0}};
    const int ready = waitReadable(handles, 2, realMs);
    if (handles[1].revents != 0)
        return Stopped;
    if (ready == 0)
        return TimedOut;
    if (m_buffer.size() != m_bufferSize)
        m_buffer.resize(m_bufferSize);
    // MSG_TRUNC reports the datagram's real length, so an oversized one is detected.
    return received(::recv(m_handle, m_buffer.data(), size_t(m_buffer.size()), MSG_TRUNC | MSG_DONTWAIT), datagram,
                    length);
}

std::optional<TUDPBase::TReceiveResult> TUDPBase::receiveBlocking(QByteArrayView &datagram, qsizetype &length,
                                                                   int realMs)
{
    if (m_stopSignal && m_stopSignal->Raised())
        return Stopped;
    setBlockingTimeout(realMs);
    if (m_buffer.size() != m_bufferSize)
        m_buffer.resize(m_bufferSize);
    const ssize_t result = ::recv(m_handle, m_buffer.data(), size_t(m_buffer.size()),
                                  MSG_TRUNC | (realMs == 0 ? MSG_DONTWAIT : 0));
    // The stop signal wakes this call by shutting the socket's receiving side.
    if (m_stopSignal && m_stopSignal->Raised())
        return Stopped;
    if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return TimedOut;
    return received(result, datagram, length);
}

std::optional<TUDPBase::TReceiveResult> TUDPBase::received(ssize_t result, QByteArrayView &datagram,
                                                            qsizetype &length)
{
    if (result < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK || reportsUndeliveredDatagram(errno))
            return std::nullopt;
        raiseSocketError(errno);
    }
    length = result;
    datagram = QByteArrayView(m_buffer.constData(), qMin(length, m_buffer.size()));
    return Received;
}

void TUDPBase::setBlockingTimeout(int realMs)
{
    // 0 is SO_RCVTIMEO's "without limit"; a wait of 0 ms does not block at all.
    const int timeout = realMs > 0 ? realMs : -1;
    if (timeout == m_blockingTimeoutMs)
        return;
    const timeval value{timeout > 0 ? timeout / 1000 : 0, timeout > 0 ? (timeout % 1000) * 1000 : 0};
    if (::setsockopt(m_handle, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value) != 0)
        raiseSocketError(errno);
    m_blockingTimeoutMs = timeout;
}

void TUDPBase::checkFits(qsizetype length) const
{
    checkDatagramFits(length, m_buffer);
}

void TUDPClient::Send(QByteArrayView data)
{
    openTo(m_peer);
    sendToPeer(data);
}

void TUDPClient::StartWait()
{
    m_waitMs = ReceiveTimeout() < 0 ? -1 : realMilliseconds(ReceiveTimeout());
    m_waitStart = std::chrono::steady_clock::now();
    m_waitFresh = true;
}

int TUDPClient::remainingWaitMs() const
{
    if (m_waitMs < 0)
        return -1;
    const auto waited = std::chrono::steady_clock::now() - m_waitStart;
    return int(std::max<qint64>(0, m_waitMs - std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()));
}

TUDPBase::TReceiveResult TUDPClient::receiveFromPeer(QByteArrayView &datagram)
{
    openTo(m_peer);
    for (;;) {
        qsizetype length = 0;
        // The first receive of a wait has all of its time ahead: one blocking call then does,
        // without a poll() before it. Whatever follows waits for the rest only.
        const std::optional<TReceiveResult> result = std::exchange(m_waitFresh, false)
            ? receiveBlocking(datagram, length, m_waitMs)
            : receiveReal(datagram, length, remainingWaitMs());
        if (!result)
            continue;
        if (*result == Received)
            checkFits(length);
        return *result;
    }
}
