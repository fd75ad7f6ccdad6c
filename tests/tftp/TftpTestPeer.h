#pragma once

#include <QByteArray>
#include <QUdpSocket>

#include <optional>

// A TFTP client in the tests' hands: it sends exactly the datagrams a test scripts, so that
// it can drop, delay and repeat packets, and it reports every datagram it gets with the port
// it came from. Only loopback. Waiting dispatches the test thread's events, since an
// in-process server hands its work to that thread.
class TftpTestPeer final
{
public:
    struct Packet
    {
        quint16 opcode = 0;
        // The block number of DATA and ACK, the code of ERROR.
        quint16 number = 0;
        // DATA's bytes, ERROR's message without its zero byte, the rest of anything else.
        QByteArray body;
        QByteArray raw;
        quint16 fromPort = 0;
    };

    TftpTestPeer();
    Q_DISABLE_COPY_MOVE(TftpTestPeer)

    quint16 port() const { return m_socket.localPort(); }

    void send(const QByteArray &datagram, quint16 toPort);
    void sendRequest(quint16 opcode, const QByteArray &fileName, const QByteArray &mode, quint16 toPort,
                     const QList<QByteArray> &options = {});
    void sendAck(quint16 block, quint16 toPort);
    void sendData(quint16 block, const QByteArray &bytes, quint16 toPort);

    // The next datagram, or nothing within timeoutMs.
    std::optional<Packet> receive(int timeoutMs = 5000);

    static QByteArray request(quint16 opcode, const QByteArray &fileName, const QByteArray &mode,
                              const QList<QByteArray> &options = {});
    static QByteArray ack(quint16 block);
    static QByteArray data(quint16 block, const QByteArray &bytes);

private:
    QUdpSocket m_socket;
};
