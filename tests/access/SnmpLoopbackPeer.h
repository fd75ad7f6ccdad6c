#pragma once

#include "access/SnmpMessage.h"
#include "platform/Clock.h"
#include "platform/MessagePump.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <functional>
#include <optional>

// The far end of a manager under test: a UDP socket on 127.0.0.1 with a system-chosen port
// that keeps every datagram it receives and, when told, answers it. It is served by the
// same event dispatch as the manager, so it answers while the manager's waits pump.
class SnmpLoopbackPeer final
{
public:
    SnmpLoopbackPeer()
    {
        m_socket.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, [this] { readPending(); });
    }
    Q_DISABLE_COPY_MOVE(SnmpLoopbackPeer)

    quint16 port() const { return m_socket.localPort(); }

    // The reply to a decoded request, or nothing to stay silent.
    std::function<std::optional<Snmp::Message>(const Snmp::Message &request)> responder;

    QList<QNetworkDatagram> received;

    // Pumps events until `count` datagrams have arrived or five seconds have passed.
    bool waitForDatagrams(qsizetype count)
    {
        return pumpUntil([&] { return received.size() >= count; });
    }

    // Sends raw bytes to the manager that sent the first datagram received.
    void sendToManager(const QByteArray &bytes)
    {
        m_socket.writeDatagram(bytes, QHostAddress::LocalHost, quint16(received.first().senderPort()));
    }

    static bool pumpUntil(const std::function<bool()> &done)
    {
        const QDeadlineTimer deadline(5000);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            PumpOneMessage();
            Platform::sleep(1);
        }
        return true;
    }

private:
    void readPending()
    {
        while (m_socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = m_socket.receiveDatagram();
            received.append(datagram);
            Snmp::Message request;
            if (!responder || Snmp::decodeMessage(datagram.data(), request) != Snmp::DecodeResult::Ok)
                continue;
            QByteArray bytes;
            if (const std::optional<Snmp::Message> reply = responder(request); reply && Snmp::encodeMessage(*reply, bytes))
                m_socket.writeDatagram(bytes, datagram.senderAddress(), quint16(datagram.senderPort()));
        }
    }

    QUdpSocket m_socket;
};
