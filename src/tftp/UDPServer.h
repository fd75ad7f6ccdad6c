#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

// One listening socket: the address and port it is bound to (empty address: every local
// address) and the sender of the datagram being handled.
struct TSocketHandle
{
    QString IP;
    int Port = 0;
    int Handle = -1;
    QString PeerIP;
    int PeerPort = 0;
};

class TUDPListenerThread;

// Listens on its bindings from a thread of its own and hands each datagram to the thread the
// server lives on, waiting until it has been handled: requests are handled one at a time and
// in step with the user interface, which must keep dispatching events while the server is
// active.
class TUDPServer : public QObject
{
    Q_OBJECT

public:
    explicit TUDPServer(QObject *parent = nullptr);
    ~TUDPServer() override;
    Q_DISABLE_COPY_MOVE(TUDPServer)

    // The largest request datagram accepted; larger ones are dropped.
    int BufferSize() const { return m_bufferSize; }
    void SetBufferSize(int size) { m_bufferSize = size; }

    // The port of the binding that activation adds when none has been added.
    int DefaultPort() const { return m_defaultPort; }
    void SetDefaultPort(int port) { m_defaultPort = port; }

    // Only while inactive. Port 0 lets the system choose; activation then stores the chosen
    // port in the binding.
    TSocketHandle &AddBinding(const QString &ip, int port);
    const std::vector<std::unique_ptr<TSocketHandle>> &Bindings() const { return m_bindings; }

    bool Active() const { return m_listener != nullptr; }
    // True binds every binding and starts listening; a taken address and port raise
    // ECouldNotBindSocket, other failures EUDPSocketError. False stops listening; it waits
    // for the listener while dispatching events, and must not be called from a handler.
    void SetActive(bool active);

protected:
    // A datagram from binding.PeerIP:PeerPort, on the server's thread.
    virtual void DoUDPRead(QByteArrayView datagram, TSocketHandle &binding) = 0;

    // Dispatches this thread's events until done() holds; worker threads post an event when
    // they end, so that the wait sees it.
    void waitWhileDispatching(const std::function<bool()> &done);

private:
    friend class TUDPListenerThread;

    void activate();
    void deactivate();
    void closeBindings();

    int m_bufferSize = 8192;
    int m_defaultPort = 0;
    std::vector<std::unique_ptr<TSocketHandle>> m_bindings;
    std::unique_ptr<TUDPListenerThread> m_listener;
};
