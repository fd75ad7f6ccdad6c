#pragma once

#include "CommandTable.h"

#include <QTcpServer>

class Device;

// The switch's telnet service: one CliSession per connection. Sessions and the copies they
// started live in one holder, so that a reset ends all of them at once.
class TelnetServer final : public QTcpServer
{
    Q_OBJECT

public:
    explicit TelnetServer(Device &device, QObject *parent = nullptr);

    // Stops listening and ends every session and copy, as a switch that goes down does.
    void shutDown();

private:
    void acceptSessions();

    Device &m_device;
    CommandTable m_commands;
    QObject *m_sessions;
};
