#include "TftpTestPeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QNetworkProxy>

namespace {

void appendWord(QByteArray &packet, quint16 value)
{
    packet.append(char(value >> 8));
    packet.append(char(value & 0xFF));
}

quint16 wordAt(const QByteArray &bytes, int offset)
{
    return quint16((quint8(bytes[offset]) << 8) | quint8(bytes[offset + 1]));
}

} // namespace

TftpTestPeer::TftpTestPeer()
{
    // Loopback only: no proxy look-up, whose helper thread would only add noise.
    m_socket.setProxy(QNetworkProxy::NoProxy);
    if (!m_socket.bind(QHostAddress::LocalHost, 0))
        qFatal("test peer cannot bind: %s", qPrintable(m_socket.errorString()));
}

void TftpTestPeer::send(const QByteArray &datagram, quint16 toPort)
{
    m_socket.writeDatagram(datagram, QHostAddress::LocalHost, toPort);
}

void TftpTestPeer::sendRequest(quint16 opcode, const QByteArray &fileName, const QByteArray &mode, quint16 toPort,
                               const QList<QByteArray> &options)
{
    send(request(opcode, fileName, mode, options), toPort);
}

void TftpTestPeer::sendAck(quint16 block, quint16 toPort)
{
    send(ack(block), toPort);
}

void TftpTestPeer::sendData(quint16 block, const QByteArray &bytes, quint16 toPort)
{
    send(data(block, bytes), toPort);
}

std::optional<TftpTestPeer::Packet> TftpTestPeer::receive(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_socket.hasPendingDatagrams()) {
        if (deadline.hasExpired())
            return std::nullopt;
        QCoreApplication::processEvents();
        m_socket.waitForReadyRead(2);
    }
    const QNetworkDatagram datagram = m_socket.receiveDatagram();
    Packet packet;
    packet.raw = datagram.data();
    packet.fromPort = quint16(datagram.senderPort());
    if (packet.raw.size() >= 2)
        packet.opcode = wordAt(packet.raw, 0);
    if (packet.raw.size() >= 4 && packet.opcode >= 3 && packet.opcode <= 5) {
        packet.number = wordAt(packet.raw, 2);
        packet.body = packet.raw.mid(4);
        if (packet.opcode == 5 && packet.body.endsWith('\0'))
            packet.body.chop(1);
    } else {
        packet.body = packet.raw.mid(2);
    }
    return packet;
}

QByteArray TftpTestPeer::request(quint16 opcode, const QByteArray &fileName, const QByteArray &mode,
                                 const QList<QByteArray> &options)
{
    QByteArray packet;
    appendWord(packet, opcode);
    for (const QByteArray &field : QList<QByteArray>{fileName, mode} + options) {
        packet.append(field);
        packet.append('\0');
    }
    return packet;
}

QByteArray TftpTestPeer::ack(quint16 block)
{
    QByteArray packet;
    appendWord(packet, 4);
    appendWord(packet, block);
    return packet;
}

QByteArray TftpTestPeer::data(quint16 block, const QByteArray &bytes)
{
    QByteArray packet;
    appendWord(packet, 3);
    appendWord(packet, block);
    return packet + bytes;
}
