#include "CliSession.h"

#include "Device.h"

#include <QTcpSocket>

namespace {

constexpr char kControlZ = 26;
constexpr char kTab = '\t';
const QByteArray kEraseLine = QByteArrayLiteral("\x1b[K");
const QByteArray kFormUser = QByteArrayLiteral("\r\nUser Name:");
// Announce server-side echo and suppress-go-ahead, as the switch does; the wizard answers
// no negotiation, which the switch tolerates.
const QByteArray kNegotiation = QByteArrayLiteral("\xff\xfb\x01\xff\xfb\x03");

} // namespace

CliSession::CliSession(QTcpSocket *socket, Device &device, const CommandTable &commands, QObject *parent)
    : QObject(parent), m_socket(socket), m_device(device), m_commands(commands)
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &CliSession::receive);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);

    if (!device.scenario().silent)
        print(kNegotiation + "\r\n" + kFormUser);
}

void CliSession::print(const QByteArray &text)
{
    if (!m_ended)
        m_socket->write(text);
}

void CliSession::printPrompt()
{
    QByteArray prompt = m_device.scenario().hostName.toLatin1();
    switch (m_mode) {
    case CliMode::Exec:
        prompt += m_device.scenario().privilege >= 15 ? "#" : ">";
        break;
    case CliMode::Config:
        prompt += "(config)#";
        break;
    case CliMode::Interface:
        prompt += "(config-if)#";
        break;
    }
    print(kEraseLine + prompt + (m_device.scenario().promptBlank ? " " : ""));
}

void CliSession::hold()
{
    m_held = true;
}

void CliSession::release()
{
    m_held = false;
    printPrompt();
    runWaitingLines();
}

void CliSession::ask(const QByteArray &question, std::function<void(const QByteArray &)> onAnswer)
{
    print(question);
    m_onAnswer = std::move(onAnswer);
}

void CliSession::end()
{
    m_socket->disconnectFromHost();
    m_ended = true;
}

void CliSession::receive()
{
    const QByteArray bytes = m_socket->readAll();
    m_device.transcript().append(bytes);
    if (m_device.scenario().silent || m_ended)
        return;
    for (const char byte : bytes)
        consume(byte);
}

bool CliSession::takeLine(char byte, QByteArray &line)
{
    const bool afterCr = std::exchange(m_afterCr, byte == '\r');
    if (afterCr && (byte == '\n' || byte == '\0'))
        return false;
    if (byte == '\r' || byte == '\n') {
        line = std::exchange(m_pending, QByteArray());
        return true;
    }
    m_pending.append(byte);
    return false;
}

void CliSession::consume(char byte)
{
    QByteArray line;
    switch (m_state) {
    case State::FormUser:
        if (byte == kTab) {
            m_userName = std::exchange(m_pending, QByteArray());
            m_state = State::FormPassword;
            print(QByteArrayLiteral("\r\nPassword:"));
        } else if (byte != '\r' && byte != '\n') {
            m_pending.append(byte);
            print(QByteArray(1, byte));
        }
        return;
    case State::FormPassword:
        if (takeLine(byte, line)) {
            m_pending = line;
            submitForm();
        }
        return;
    case State::FormMenu:
        if (byte == kControlZ) {
            m_state = State::Console;
            print(QByteArrayLiteral("\r\n\r\n>"));
        }
        return;
    case State::Console:
        if (takeLine(byte, line))
            consoleLine(line);
        return;
    case State::LcliUser:
        if (takeLine(byte, line)) {
            m_userName = line;
            m_state = State::LcliPassword;
            print(QByteArrayLiteral("\r\nPassword:"));
        }
        return;
    case State::LcliPassword:
        if (takeLine(byte, line))
            lcliPassword(line);
        return;
    case State::Cli:
        // Control-Z leaves configuration mode at once; it never becomes part of a command.
        if (byte == kControlZ) {
            if (m_mode != CliMode::Exec && !m_held && !m_onAnswer) {
                m_mode = CliMode::Exec;
                print(QByteArrayLiteral("\r\n"));
                printPrompt();
            }
            return;
        }
        if (takeLine(byte, line)) {
            m_waiting.enqueue(line);
            runWaitingLines();
        }
        return;
    }
}

void CliSession::runWaitingLines()
{
    while (!m_held && !m_ended && !m_waiting.isEmpty())
        cliLine(m_waiting.dequeue());
}

void CliSession::submitForm()
{
    const QByteArray password = std::exchange(m_pending, QByteArray());
    const Scenario &scenario = m_device.scenario();
    if (m_userName != scenario.userName.toLatin1()) {
        print(QByteArrayLiteral("\r\n\r\nBad user\r\n") + kFormUser);
        m_state = State::FormUser;
    } else if (password != scenario.password.toLatin1()) {
        print(QByteArrayLiteral("\r\n\r\nBad password\r\n") + kFormUser);
        m_state = State::FormUser;
    } else {
        print(QByteArrayLiteral("\r\n\r\n   Switch Main Menu\r\n\r\n   1. System Manager\r\n   2. Exit\r\n\r\n"
                                "   Press Ctrl+Z for the command line\r\n"));
        m_state = State::FormMenu;
    }
}

void CliSession::consoleLine(const QByteArray &line)
{
    if (line.trimmed() == "lcli") {
        m_state = State::LcliUser;
        print(kFormUser);
    } else {
        print(QByteArrayLiteral("\r\n% Unrecognized command\r\n\r\n>"));
    }
}

void CliSession::lcliPassword(const QByteArray &password)
{
    const Scenario &scenario = m_device.scenario();
    if (m_userName == scenario.userName.toLatin1() && password == scenario.password.toLatin1()) {
        m_state = State::Cli;
        print(QByteArrayLiteral("\r\n\r\n"));
        printPrompt();
    } else {
        m_state = State::LcliUser;
        print(QByteArrayLiteral("\r\n\r\nBad user\r\n") + kFormUser);
    }
}

void CliSession::cliLine(const QByteArray &line)
{
    if (m_onAnswer) {
        print(line + "\r\n");
        std::exchange(m_onAnswer, nullptr)(line.trimmed());
        return;
    }
    // The echo of a whole command comes at its line end; the wizard types commands in one go.
    if (m_device.scenario().mutedCommands.contains(QString::fromLatin1(line.simplified()))) {
        printPrompt();
        return;
    }
    print(line + "\r\n");
    if (line.trimmed().isEmpty()) {
        printPrompt();
        return;
    }
    if (++m_commandsReceived == m_device.scenario().dropAtCommand) {
        end();
        return;
    }
    QByteArray arguments;
    if (const CommandTable::Handler *handler = m_commands.find(m_mode, m_device.scenario().privilege >= 15, line, arguments)) {
        (*handler)(*this, arguments);
        return;
    }
    print(QByteArrayLiteral("% Unrecognized command\r\n\r\n"));
    printPrompt();
}
