#pragma once

#include "SwitchSim.h"

#include "access/SnmpSync.h"

#include <QDeadlineTimer>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QtTest>

#include <functional>

// A telnet client that types exactly what the wizard types and reads what the switch prints,
// up to its prompt or any other sign the caller waits for.
class SimTerminal final
{
public:
    bool connectTo(const SwitchSim &sim)
    {
        m_socket.setProxy(QNetworkProxy::NoProxy);
        m_socket.connectToHost(sim.address(), sim.port(QStringLiteral("telnet")));
        return m_socket.waitForConnected(5000);
    }

    // The wizard's log-in: the menu form, control-Z, "lcli" and the credentials again.
    bool logIn(const SwitchSim &sim)
    {
        if (!connectTo(sim))
            return false;
        m_socket.write("admin\tadmin\r");
        if (!until([](const QByteArray &b) { return b.contains("Ctrl+Z"); }).contains("Ctrl+Z"))
            return false;
        m_socket.write("\x1a");
        until([](const QByteArray &b) { return b.endsWith('>'); });
        m_socket.write("lcli\r");
        until([](const QByteArray &b) { return b.endsWith("User Name:"); });
        m_socket.write("admin\r");
        until([](const QByteArray &b) { return b.endsWith("Password:"); });
        m_socket.write("admin\r");
        return endsWithPrompt(untilPrompt());
    }

    static bool endsWithPrompt(const QByteArray &bytes)
    {
        static const QRegularExpression prompt(QStringLiteral("\\x1b\\[K[^\\r\\n\\x1b]*[#>] $"));
        return prompt.match(QString::fromLatin1(bytes)).hasMatch();
    }

    // Types text and returns what the switch printed up to its next prompt.
    QByteArray type(const QByteArray &text, int timeoutMs = 10000)
    {
        m_socket.write(text);
        return untilPrompt(timeoutMs);
    }
    QByteArray untilPrompt(int timeoutMs = 10000) { return until(endsWithPrompt, timeoutMs); }
    void write(const QByteArray &text) { m_socket.write(text); }

    // Reads until done says so or timeoutMs has passed, and hands over all that was read.
    QByteArray until(const std::function<bool(const QByteArray &)> &done, int timeoutMs = 10000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!done(m_buffer) && !deadline.hasExpired()) {
            if (m_socket.state() != QAbstractSocket::ConnectedState && m_socket.bytesAvailable() == 0)
                break;
            m_socket.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 50)));
            m_buffer += m_socket.readAll();
        }
        return std::exchange(m_buffer, QByteArray());
    }

    bool waitForClosed(int timeoutMs = 10000)
    {
        until([this](const QByteArray &) { return m_socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
        return m_socket.state() == QAbstractSocket::UnconnectedState;
    }

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

// Single SNMP reads and writes of the system group through the wizard's own SNMP access, one
// attempt each: the switch answers at once on loopback, and a silent one costs one wait.
namespace SimSnmp {

inline const QString kSysContact = QStringLiteral("1.3.6.1.2.1.1.4");
inline const QString kSysLocation = QStringLiteral("1.3.6.1.2.1.1.6");

// Looks for the answer every 100 ms of program time, which the tests' time scale shortens.
inline void aim(TSNMP &snmp, const SwitchSim &sim, const QByteArray &community)
{
    snmp.SetResponseSamplingInterval(100);
    snmp.SetRemoteHost(sim.address());
    snmp.SetRemotePort(sim.port(QStringLiteral("snmp")));
    snmp.SetCommunity(community);
}

// The value, or "timeout" when the switch does not answer.
inline QString get(const SwitchSim &sim, const QString &oid, const QByteArray &community = "vemtal")
{
    TSNMP snmp;
    snmp.SetNumOfRetries(1);
    aim(snmp, sim, community);
    QString value;
    snmp.GetValue(oid, value);
    return value;
}

inline bool set(const SwitchSim &sim, const QString &oid, const QString &value, const QByteArray &community = "vemtal")
{
    TSNMP snmp;
    snmp.SetNumOfRetries(1);
    aim(snmp, sim, community);
    return snmp.SetValue(1, oid, value);
}

} // namespace SimSnmp
