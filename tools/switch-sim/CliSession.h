#pragma once

#include <QByteArray>
#include <QObject>

class CommandTable;
class Device;
class QTcpSocket;

// One telnet connection to the switch: the menu log-in form, the console that control-Z
// leads to, the "lcli" log-in and the line-mode interface with its prompt. Input arrives
// byte by byte as the wizard types it, so each state consumes bytes, not lines.
class CliSession final : public QObject
{
    Q_OBJECT

public:
    CliSession(QTcpSocket *socket, Device &device, const CommandTable &commands, QObject *parent = nullptr);

    Device &device() { return m_device; }

    void print(const QByteArray &text);
    // Ends a command's output with the prompt, as the switch does after every command.
    void printPrompt();

private:
    enum class State { FormUser, FormPassword, FormMenu, Console, LcliUser, LcliPassword, Cli };

    void receive();
    void consume(char byte);
    // Completes a line at CR or LF; a CR LF or CR NUL pair ends only one line.
    bool takeLine(char byte, QByteArray &line);
    void submitForm();
    void consoleLine(const QByteArray &line);
    void lcliPassword(const QByteArray &line);
    void cliLine(const QByteArray &line);

    QTcpSocket *m_socket;
    Device &m_device;
    const CommandTable &m_commands;
    State m_state = State::FormUser;
    QByteArray m_pending;
    QByteArray m_userName;
    bool m_afterCr = false;
    int m_commandsReceived = 0;
};
