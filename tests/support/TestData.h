#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>

// Deterministic bytes that differ from one variant to the next, for files whose transfer
// is compared byte for byte.
inline QByteArray pattern(qint64 size, int variant = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 2654435761u * quint32(variant + 1);
    for (qint64 i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

// A TCP port of address on which nothing listens any more: connections to it are refused.
inline quint16 closedPort(const QHostAddress &address = QHostAddress::LocalHost)
{
    QTcpServer server;
    server.listen(address);
    return server.serverPort();
}
