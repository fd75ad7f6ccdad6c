#pragma once

#include "access/TelnetParser.h"

#include <QHostAddress>
#include <QObject>

#include <functional>

class QTcpSocket;

// A telnet client over one TCP connection. It works asynchronously: connecting, receiving
// and closing happen while the owning thread dispatches its events, and are reported through
// the event members below (an event without a handler is dropped). It answers no option
// negotiation by itself.
class TTelnetClient : public QObject, private TelnetParser::Sink
{
    Q_OBJECT

public:
    explicit TTelnetClient(QObject *owner = nullptr);
    ~TTelnetClient() override;

    bool KeepAlive() const { return m_keepAlive; }
    void SetKeepAlive(bool value) { m_keepAlive = value; }
    // While connected: the dotted address of the connection's local end.
    QString LocalHost() const;
    void SetLocalHost(const QString &value) { m_localHost = value; }
    quint16 LocalPort() const { return m_localPort; }
    void SetLocalPort(quint16 value);
    QString RemoteHost() const { return m_remoteHostText; }
    void SetRemoteHost(const QString &value);
    quint16 RemotePort() const { return m_remotePort; }
    void SetRemotePort(quint16 value);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool value) { m_transparent = value; }

    bool Connected() const { return m_connected; }
    // true starts a connection and returns at once; false closes the connection.
    void SetConnected(bool value);

    // Sends the bytes as they are: no line end added, no IAC doubled.
    void Send(const QByteArray &text);
    void SetDataToSend(const QByteArray &text) { Send(text); }
    int BytesSent() const { return m_bytesSent; }

    std::function<void(int CommandCode)> OnCommand;
    std::function<void(int StatusCode, const QString &Description)> OnConnected;
    std::function<void(const QByteArray &Text)> OnDataIn;
    std::function<void(int StatusCode, const QString &Description)> OnDisconnected;
    std::function<void(int OptionCode)> OnDo;
    std::function<void(int OptionCode)> OnDont;
    std::function<void(int ErrorCode, const QString &Description)> OnError;
    std::function<void()> OnReadyToSend;
    std::function<void(const QByteArray &SubOption)> OnSubOption;
    std::function<void(int OptionCode)> OnWill;
    std::function<void(int OptionCode)> OnWont;

    enum ErrorCode {
        ErrRemotePortBusy = 100,
        ErrRemoteHostBusy = 101,
        ErrNoRemoteHost = 102,
        ErrAlreadyConnected = 104,
        ErrLocalPortBusy = 106,
        ErrRemotePortZero = 116,
        ErrSubOptionTooLong = 191,
    };
    // The message of one of the client's own codes, or the socket error text for others.
    static QString ErrorText(int code);

private:
    void data(const QByteArray &text) override;
    void command(int code) override;
    void option(int verb, int code) override;
    void subOption(const QByteArray &bytes) override;
    void subOptionTooLong() override;

    [[noreturn]] static void raise(int code);
    void socketConnected();
    void socketFailed();
    void readAvailable();
    // Ends the connection: delivers what is still buffered, then reports and drops the socket.
    void close(int statusCode);

    bool m_keepAlive = false;
    QString m_localHost;
    quint16 m_localPort = 0;
    QString m_remoteHostText;
    QHostAddress m_remoteAddress;
    quint16 m_remotePort = 23;
    bool m_transparent = false;

    QTcpSocket *m_socket = nullptr;
    bool m_connected = false;
    bool m_reading = false;
    int m_bytesSent = 0;
    TelnetParser m_parser;
};
