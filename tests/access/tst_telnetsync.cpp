#include "access/TelnetSync.h"
#include "platform/Clock.h"

#include "CountedClock.h"
#include "TestData.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// The blocking terminal: how received pieces become lines, and how long its waits last.
// Waits are counted in program time: the peer lives in this thread and answers while the
// terminal pumps, so every wait ends after an exact number of polls.
class TestTelnetSync : public QObject
{
    Q_OBJECT

    QTcpServer m_server;
    CountedClock m_clock{0.2};

    // Connects the terminal to the test's server; the peer answers every command it
    // receives with answer.
    QTcpSocket *connectTerminal(TTelnet &terminal, const QByteArray &answer = {})
    {
        terminal.SetRemoteHost("127.0.0.1");
        terminal.SetRemotePort(m_server.serverPort());
        terminal.ConnectWait(5000);
        if (!terminal.Connected() || (!m_server.hasPendingConnections() && !m_server.waitForNewConnection(5000)))
            return nullptr;
        QTcpSocket *peer = m_server.nextPendingConnection();
        if (!answer.isEmpty()) {
            connect(peer, &QTcpSocket::readyRead, peer, [peer, answer] {
                peer->readAll();
                peer->write(answer);
            });
        }
        return peer;
    }

private slots:
    void initTestCase() { QVERIFY(m_server.listen(QHostAddress::LocalHost)); }

    void accumulation_data()
    {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("a bare line break between pieces survives")
            << QStringList{"A", "\r\n", "B"} << QStringList{"A", "B"};
        QTest::newRow("a break that ends a longer piece does not")
            << QStringList{"A", "C\r\n", "B"} << QStringList{"ACB"};
        QTest::newRow("a piece continues the prompt line")
            << QStringList{"\r\n\x1b[Kconsole# ", "show"} << QStringList{"", "\x1b[Kconsole# show"};
        QTest::newRow("output and prompt in one piece")
            << QStringList{"show stack\r\n% Unrecognized command\r\n\r\n\x1b[Kconsole# "}
            << QStringList{"show stack", "% Unrecognized command", "", "\x1b[Kconsole# "};
        QTest::newRow("LF CR is two breaks") << QStringList{"A\n\rB"} << QStringList{"A", "", "B"};
        QTest::newRow("a bare two-character LF CR gets a break of its own")
            << QStringList{"A", "\n\r", "B"} << QStringList{"A", "", "B"};
        QTest::newRow("a one-character line feed is continued")
            << QStringList{"A", "\n", "B"} << QStringList{"AB"};
        QTest::newRow("everything after a NUL is lost")
            << QStringList{"A", "\r\0X"} << QStringList{"A"};
        QTest::newRow("the next piece continues the line before the NUL")
            << QStringList{"A", "\r\0X", "B"} << QStringList{"AB"};
        QTest::newRow("a first bare break on an empty list") << QStringList{"\r\n"} << QStringList{"", ""};
    }
    void accumulation()
    {
        QFETCH(QStringList, pieces);
        QFETCH(QStringList, lines);
        TTelnet terminal;
        for (const QString &piece : pieces)
            terminal.OnDataIn(piece.toLatin1());
        QCOMPARE(terminal.Received, lines);
    }

    void waitForPrompt_data()
    {
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QByteArray>("lastLine");
        QTest::addColumn<int>("polls"); // -1: the wait runs out

        QTest::newRow("exact prompt at once") << "console#" << QByteArray("console#") << 0;
        QTest::newRow("trailing blank trimmed at once") << "console#" << QByteArray("console# ") << 0;
        QTest::newRow("erase-line and blank at once") << "console#" << QByteArray("\x1b[Kconsole# ") << 0;
        QTest::newRow("one character either side: fourth poll") << "console#" << QByteArray("xconsole#y") << 4;
        QTest::newRow("erase-line without a trailing blank at once") << "console#" << QByteArray("\x1b[Kconsole#") << 0;
        QTest::newRow("erase-line before other text never") << "console#" << QByteArray("\x1b[Kconsole#xy") << -1;
        QTest::newRow("two trailing characters never") << "console#" << QByteArray("console#xy") << -1;
        QTest::newRow("other text never") << "console#" << QByteArray("% Unrecognized") << -1;
        QTest::newRow("empty prompt, blank line at once") << "" << QByteArray("   ") << 0;
    }
    void waitForPrompt()
    {
        QFETCH(QString, prompt);
        QFETCH(QByteArray, lastLine);
        QFETCH(int, polls);
        constexpr int maxPolls = 10;

        TTelnet terminal;
        terminal.SendLinesDelay = 0;
        terminal.DutPromptInCliMode = prompt;
        QScopedPointer<QTcpSocket> peer(connectTerminal(terminal, "output\r\n" + lastLine));
        QVERIFY(peer);

        const quint32 elapsed = programMsOf([&] { terminal.SendLineWaitForPrompt("show\n", maxPolls); });
        // Sending costs 200 ms and the first look 200 ms more; each poll 100 ms.
        const int expectedPolls = polls < 0 ? maxPolls + 1 : polls;
        QCOMPARE(elapsed, quint32(400 + 100 * expectedPolls));
        QCOMPARE(terminal.Received.last().toLatin1(), lastLine);
    }

    void delayRounds()
    {
        TTelnet terminal;
        QCOMPARE(programMsOf([&] { terminal.Delay(9); }), 0u);
        QCOMPARE(programMsOf([&] { terminal.Delay(25); }), 20u);
    }

    void sendAttempts_data()
    {
        QTest::addColumn<int>("timeout");
        QTest::addColumn<bool>("sentBefore");
        QTest::addColumn<int>("attempts");
        QTest::newRow("default budget, nothing sent before") << 1000 << false << 1;
        QTest::newRow("default budget, earlier bytes counted") << 1000 << true << 5;
        QTest::newRow("budget below one attempt still tries once") << 100 << true << 1;
        QTest::newRow("two attempts") << 400 << true << 2;
    }
    // An empty text sends nothing and leaves the byte count as it was, so the attempts run
    // out unless that count happens to be 0 already. Each attempt costs 200 ms.
    void sendAttempts()
    {
        QFETCH(int, timeout);
        QFETCH(bool, sentBefore);
        QFETCH(int, attempts);
        TTelnet terminal;
        terminal.SendLinesDelay = 0;
        terminal.SendLineTimeOut = timeout;
        QScopedPointer<QTcpSocket> peer(connectTerminal(terminal));
        QVERIFY(peer);
        if (sentBefore)
            terminal.Send("x");
        QCOMPARE(programMsOf([&] { terminal.SendLine(""); }), quint32(200 * attempts));
    }

    void connectWaitGivesUpAfterItsTimeout()
    {
        TTelnet terminal;
        terminal.SetRemoteHost("127.0.0.1");
        terminal.SetRemotePort(closedPort());
        // Connect alone pumps 1000 rounds of 5 ms when the connection never comes up; the
        // time-out counts from its end.
        QCOMPARE(programMsOf([&] { terminal.ConnectWait(7000); }), 12000u);
        QVERIFY(!terminal.IsConnected());
        QCOMPARE(terminal.ConnectionStatusStr, QString("[10061] Connection refused"));
    }

    void assignCopiesAllButCanDisconnect()
    {
        TTelnet source;
        source.Received = {"a", "b"};
        source.SetRemoteHost("127.0.0.9");
        source.DutPromptInCliMode = "sw#";
        source.SendLinesDelay = 7;
        source.CanDisconnect = false;
        TTelnet copy;
        copy.Assign(source);
        QCOMPARE(copy.Received, source.Received);
        QCOMPARE(copy.RemoteHost(), QString("127.0.0.9"));
        QCOMPARE(copy.DutPromptInCliMode, QString("sw#"));
        QCOMPARE(copy.SendLinesDelay, 7);
        QVERIFY(copy.CanDisconnect);
    }
};

QTEST_MAIN(TestTelnetSync)
#include "tst_telnetsync.moc"
