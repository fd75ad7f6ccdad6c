#include "TelnetServer.h"

#include "CliSession.h"
#include "Device.h"

#include <QTcpSocket>

TelnetServer::TelnetServer(Device &device, QObject *parent)
    : QTcpServer(parent), m_device(device), m_sessions(new QObject(this))
{
    addShowCommands(m_commands);
    addConfigCommands(m_commands);
    addCopyCommands(m_commands);
    addBootCommands(m_commands);
    connect(this, &QTcpServer::newConnection, this, &TelnetServer::acceptSessions);
}

void TelnetServer::shutDown()
{
    close();
    // What the switch printed last ("Shutting down ...") still goes out; then deleting the
    // sessions aborts their sockets, and the wizard sees its connection reset.
    for (QTcpSocket *socket : m_sessions->findChildren<QTcpSocket *>())
        socket->flush();
    delete m_sessions;
    m_sessions = new QObject(this);
}

void TelnetServer::acceptSessions()
{
    while (QTcpSocket *socket = nextPendingConnection())
        new CliSession(socket, m_device, m_commands, m_sessions);
}
