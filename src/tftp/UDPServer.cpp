#include "tftp/UDPServer.h"

#include "UDPBase_p.h"

#include "platform/HandOver.h"
#include "platform/SocketErrors.h"
#include "tftp/TrivialFTPBase.h"

#include <QCoreApplication>
#include <QThread>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

class TUDPListenerThread final
{
public:
    explicit TUDPListenerThread(TUDPServer *server) : m_server(server) {}
    ~TUDPListenerThread()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    Q_DISABLE_COPY_MOVE(TUDPListenerThread)

    void start() { m_thread = std::thread([this] { execute(); }); }
    void stop() { m_stop.Raise(); }
    bool finished() const { return m_finished.load(std::memory_order_acquire); }

private:
    static constexpr int kCycleMs = 1000;

    void execute();
    void handleDatagram(TSocketHandle &binding);

    TUDPServer *const m_server;
    TStopSignal m_stop;
    std::atomic<bool> m_finished{false};
    QByteArray m_buffer;
    std::thread m_thread;
};

void TUDPListenerThread::execute()
{
    const auto &bindings = m_server->m_bindings;
    std::vector<pollfd> handles;
    for (const auto &binding : bindings)
        handles.push_back({binding->Handle, POLLIN, 0});
    handles.push_back({m_stop.Handle(), POLLIN, 0});
    m_buffer.resize(m_server->m_bufferSize);

    while (!m_stop.Raised()) {
        try {
            if (waitReadable(handles.data(), int(handles.size()), kCycleMs) == 0)
                continue;
        } catch (const std::exception &error) {
            // poll() itself failed (out of memory, descriptors): nothing can be received now.
            // Try again after a cycle instead of spinning, and stay stoppable meanwhile.
            qWarning("TFTP listener: %s", error.what());
            for (int step = 0; step < 10 && !m_stop.Raised(); ++step)
                std::this_thread::sleep_for(std::chrono::milliseconds(kCycleMs / 10));
            continue;
        }
        for (size_t i = 0; i < bindings.size() && !m_stop.Raised(); ++i) {
            if (handles[i].revents != 0)
                handleDatagram(*bindings[i]);
        }
    }
    m_finished.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(m_server, [] {}, Qt::QueuedConnection);
}

void TUDPListenerThread::handleDatagram(TSocketHandle &binding)
{
    try {
        sockaddr_in from{};
        const qsizetype length = receiveDatagram(binding.Handle, m_buffer, from);
        checkDatagramFits(length, m_buffer);
        binding.PeerIP = socketAddressIP(from);
        binding.PeerPort = socketAddressPort(from);
        const QByteArrayView datagram(m_buffer.constData(), length);
        Platform::runOnThreadOf(m_server, [&] { m_server->DoUDPRead(datagram, binding); });
    } catch (...) {
        // A bad datagram or a failed request has been answered where it could be; the
        // service goes on with the next one.
    }
}

TUDPServer::TUDPServer(QObject *parent) : QObject(parent)
{
}

TUDPServer::~TUDPServer()
{
    // Deactivating here would hand datagrams to a derived class that is already gone.
    Q_ASSERT_X(!Active(), "~TUDPServer", "the derived server deactivates in its own destructor");
    closeBindings();
}

TSocketHandle &TUDPServer::AddBinding(const QString &ip, int port)
{
    Q_ASSERT(!Active());
    m_bindings.push_back(std::make_unique<TSocketHandle>());
    m_bindings.back()->IP = ip;
    m_bindings.back()->Port = port;
    return *m_bindings.back();
}

void TUDPServer::SetActive(bool active)
{
    if (active == Active())
        return;
    if (active)
        activate();
    else
        deactivate();
}

void TUDPServer::activate()
{
    if (m_bindings.empty())
        AddBinding(QString(), m_defaultPort);
    try {
        for (const auto &binding : m_bindings) {
            sockaddr_in address = makeSocketAddress(binding->IP, binding->Port);
            binding->Handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (binding->Handle < 0)
                throw EUDPSocketError(Platform::socketErrorFromErrno(errno));
            // No SO_REUSEADDR: a port that another program holds must make activation fail,
            // not let two servers share the requests.
            if (::bind(binding->Handle, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
                if (errno == EADDRINUSE)
                    throw ECouldNotBindSocket();
                throw EUDPSocketError(Platform::socketErrorFromErrno(errno));
            }
            socklen_t size = sizeof address;
            if (::getsockname(binding->Handle, reinterpret_cast<sockaddr *>(&address), &size) == 0)
                binding->Port = socketAddressPort(address);
        }
    } catch (...) {
        closeBindings();
        throw;
    }
    m_listener = std::make_unique<TUDPListenerThread>(this);
    m_listener->start();
}

void TUDPServer::deactivate()
{
    m_listener->stop();
    waitWhileDispatching([this] { return m_listener->finished(); });
    m_listener.reset();
    closeBindings();
}

void TUDPServer::closeBindings()
{
    for (const auto &binding : m_bindings) {
        if (binding->Handle >= 0) {
            ::close(binding->Handle);
            binding->Handle = -1;
        }
    }
}

void TUDPServer::waitWhileDispatching(const std::function<bool()> &done)
{
    Q_ASSERT(QThread::currentThread() == thread());
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
