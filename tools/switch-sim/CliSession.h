#pragma once

#include "CommandTable.h"

#include <QByteArray>
#include <QObject>
#include <QQueue>

#include <functional>

class Device;
class QTcpSocket;

// One telnet connection to the switch: the menu log-in form, the console that control-Z
// leads to, the "lcli" log-in and the line-mode interface with its modes and prompt. Input
// arrives byte by byte as the wizard types it, so each state consumes bytes, not lines.
class CliSession final : public QObject
{
    Q_OBJECT

public:
    CliSession(QTcpSocket *socket, Device &device, const CommandTable &commands, QObject *parent = nullptr);

    Device &device() { return m_device; }
    CliMode mode() const { return m_mode; }
    void setMode(CliMode mode) { m_mode = mode; }

    void print(const QByteArray &text);
    // Ends a command's output with the prompt, as the switch does after every command.
    void printPrompt();
    // A command that goes on after its handler has returned holds the session: lines typed
    // meanwhile wait, unechoed, until release() has printed the prompt.
    void hold();
    void release();
    // Prints a question; the next line typed is its answer.
    void ask(const QByteArray &question, std::function<void(const QByteArray &answer)> onAnswer);
    // Closes the connection after what was printed has gone out.
    void end();

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
    void runWaitingLines();

    QTcpSocket *m_socket;
    Device &m_device;
    const CommandTable &m_commands;
    State m_state = State::FormUser;
    CliMode m_mode = CliMode::Exec;
    QByteArray m_pending;
    QByteArray m_userName;
    bool m_afterCr = false;
    bool m_held = false;
    bool m_ended = false;
    QQueue<QByteArray> m_waiting;
    std::function<void(const QByteArray &)> m_onAnswer;
    int m_commandsReceived = 0;
};
