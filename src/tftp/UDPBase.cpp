#include "UDPBase_p.h"

#include "platform/Clock.h"
#include "platform/SocketErrors.h"
#include "tftp/TrivialFTPBase.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace {

[[noreturn]] void raiseSocketError(int error)
{
    throw EUDPSocketError(Platform::socketErrorFromErrno(error));
}

int remainingMs(const QDeadlineTimer &deadline)
{
    return deadline.isForever() ? -1 : int(deadline.remainingTime());
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

bool sameSocketAddress(const sockaddr_in &a, const sockaddr_in &b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
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
    ssize_t sent;
    do {
        sent = ::sendto(handle, data.data(), size_t(data.size()), 0, reinterpret_cast<const sockaddr *>(&to),
                        sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        if (errno == EMSGSIZE)
            throw EPackageSizeTooBig();
        raiseSocketError(errno);
    }
    if (sent != data.size())
        throw ENotAllBytesSent();
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
        ::close(m_handle);
        m_handle = -1;
    }
}

int TUDPBase::Handle()
{
    if (m_handle < 0) {
        m_handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_handle < 0)
            raiseSocketError(errno);
    }
    return m_handle;
}

void TUDPBase::SendBuffer(const sockaddr_in &to, QByteArrayView data)
{
    sendDatagram(Handle(), to, data);
}

TUDPBase::TReceiveResult TUDPBase::receiveReal(QByteArrayView &datagram, qsizetype &length, sockaddr_in &from,
                                                int realMs)
{
    pollfd handles[2] = {{Handle(), POLLIN, 0}, {m_stopSignal ? m_stopSignal->Handle() : -1, POLLIN, 0}};
    const int ready = waitReadable(handles, 2, realMs);
    if (handles[1].revents != 0)
        return Stopped;
    if (ready == 0)
        return TimedOut;
    if (m_buffer.size() != m_bufferSize)
        m_buffer.resize(m_bufferSize);
    length = receiveDatagram(m_handle, m_buffer, from);
    datagram = QByteArrayView(m_buffer.constData(), qMin(length, m_buffer.size()));
    return Received;
}

void TUDPBase::checkFits(qsizetype length) const
{
    checkDatagramFits(length, m_buffer);
}

QDeadlineTimer TUDPClient::ReceiveDeadline() const
{
    return ReceiveTimeout() < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                : QDeadlineTimer(realMilliseconds(ReceiveTimeout()));
}

TUDPBase::TReceiveResult TUDPClient::receiveFromPeer(QByteArrayView &datagram, const QDeadlineTimer &deadline)
{
    for (;;) {
        sockaddr_in from{};
        qsizetype length = 0;
        const TReceiveResult result = receiveReal(datagram, length, from, remainingMs(deadline));
        if (result != Received)
            return result;
        // A stranger's datagram, however large, says nothing about this transfer.
        if (sameSocketAddress(from, m_peer)) {
            checkFits(length);
            return result;
        }
    }
}
