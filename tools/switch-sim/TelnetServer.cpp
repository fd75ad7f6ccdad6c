#include "TelnetServer.h"

#include "CliSession.h"
#include "Device.h"

#include <QTcpSocket>

TelnetServer::TelnetServer(Device &device, QObject *parent) : QTcpServer(parent), m_device(device)
{
    addShowCommands(m_commands);
    connect(this, &QTcpServer::newConnection, this, &TelnetServer::acceptSessions);
}

void TelnetServer::acceptSessions()
{
    while (QTcpSocket *socket = nextPendingConnection())
        new CliSession(socket, m_device, m_commands, this);
}
