#pragma once

#include "CommandTable.h"

#include <QTcpServer>

class Device;

// The switch's telnet service: one CliSession per connection.
class TelnetServer final : public QTcpServer
{
    Q_OBJECT

public:
    explicit TelnetServer(Device &device, QObject *parent = nullptr);

private:
    void acceptSessions();

    Device &m_device;
    CommandTable m_commands;
};
