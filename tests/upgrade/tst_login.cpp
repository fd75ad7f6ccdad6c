#include "access/TelnetSync.h"
#include "platform/Clock.h"
#include "platform/Exceptions.h"
#include "platform/Terminate.h"
#include "upgrade/upgrade_device.h"

#include "CountedClock.h"
#include "ScriptedDialogs.h"
#include "SwitchSim.h"
#include "TestData.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using Platform::MessageKind;

// The log-in dialogue against the simulated switch over real loopback sockets, asserting on
// both sides: what the wizard concluded and showed, and the bytes the switch received.
class TestLogin : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};

    static void aimAt(TTelnetOperations &operations, const SwitchSim &sim)
    {
        operations.DeviceAddress = sim.address();
        operations.Telnet->SetRemotePort(sim.port("telnet"));
        operations.UserName = "admin";
        operations.Password = "admin";
    }

private slots:
    void init()
    {
        Platform::clearTerminateRequest();
    }
    void cleanup() { Platform::setTimeScale(kPeerTimeScale); }

    void logsIn_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<QString>("stackUnit");

        const QByteArray twice = "admin\tadmin\r\x1alcli\radmin\radmin\r\n\nshow stack\n";
        QTest::newRow("standalone") << QStringList{} << "admin" << twice << "";
        QTest::newRow("stack, master 1") << QStringList{"--stack-master", "1"} << "admin" << twice << " unit 1";
        QTest::newRow("stack, master 2") << QStringList{"--stack-master", "2", "--stack-units", "3"} << "admin" << twice
                                         << " unit 2";
        QTest::newRow("empty password is never typed")
            << QStringList{"--password="} << "" << QByteArray("admin\t\r\x1alcli\radmin\r\n\nshow stack\n") << "";
    }
    void logsIn()
    {
        QFETCH(QStringList, scenario);
        QFETCH(QString, password);
        QFETCH(QByteArray, typed);
        QFETCH(QString, stackUnit);
        ScriptedDialogs dialogs;
        SwitchSim sim(scenario);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        TTelnetOperations operations;
        aimAt(operations, sim);
        operations.Password = password;

        QVERIFY(operations.Login());
        QCOMPARE(sim.transcript(), typed);
        QCOMPARE(operations.Telnet->DutPromptInCliMode, QString("console#"));
        QCOMPARE(operations.StackUnit, stackUnit);
        QCOMPARE(operations.IsStack, !stackUnit.isEmpty());
        QVERIFY(QHostAddress(operations.LocalAddress).isLoopback());
        QVERIFY(!operations.Telnet->CanDisconnect);
        QVERIFY(dialogs.shown().isEmpty());
        QVERIFY(!Platform::terminateRequested());
    }

    void badUser()
    {
        ScriptedDialogs dialogs;
        SwitchSim sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        TTelnetOperations operations;
        aimAt(operations, sim);
        operations.UserName = "intruder";

        QVERIFY(!operations.Login());
        QCOMPARE(dialogs.shown().size(), 1);
        QCOMPARE(dialogs.shown()[0].kind, MessageKind::Warning);
        QCOMPARE(dialogs.shown()[0].text, QString("Username or pssword is incorrect\n\rApplication will terminate."));
        QVERIFY(!operations.Telnet->Connected());
        QVERIFY(Platform::terminateRequested());
        QCOMPARE(sim.transcript(), QByteArray("intruder\tadmin\r"));
        QVERIFY(operations.Telnet->CanDisconnect);
    }

    void switchThatStaysSilent()
    {
        ScriptedDialogs dialogs;
        SwitchSim sim({"--silent"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        TTelnetOperations operations;
        aimAt(operations, sim);

        QVERIFY(!operations.Login());
        QCOMPARE(dialogs.texts(), QStringList{"Something is wrong with the telnet buffer\n\rApplication will terminate"});
        QCOMPARE(dialogs.shown()[0].kind, MessageKind::Warning);
        QVERIFY(!operations.Telnet->Connected());
        QVERIFY(Platform::terminateRequested());
    }

    void nothingListens()
    {
        ScriptedDialogs dialogs;
        TTelnetOperations operations;
        operations.DeviceAddress = "127.0.0.3";
        operations.Telnet->SetRemotePort(closedPort(QHostAddress("127.0.0.3")));
        operations.UserName = "admin";
        QVERIFY(!operations.Login());
        QVERIFY(dialogs.shown().isEmpty());
        QVERIFY(!Platform::terminateRequested());
    }

    // The peer closes the connection at the first event the pause dispatches.
    void droppedConnectionIsToleratedBeforeTheFirstLogIn()
    {
        ScriptedDialogs dialogs;
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        TTelnetOperations operations;
        operations.Telnet->SetRemoteHost("127.0.0.1");
        operations.Telnet->SetRemotePort(server.serverPort());
        operations.Telnet->ConnectWait(10000);
        QVERIFY(operations.Telnet->Connected());
        QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(5000));
        QTcpSocket *peer = server.nextPendingConnection();
        QTimer::singleShot(0, peer, &QTcpSocket::disconnectFromHost);

        operations.Pause(2000);
        QVERIFY(!operations.Telnet->Connected());
        QVERIFY(dialogs.shown().isEmpty());
        QVERIFY(!Platform::terminateRequested());
    }

    // After the log-in ("show stack" is its one command) the switch closes the connection
    // when the next command arrives, which the pause then finds.
    void droppedConnectionIsFatalAfterTheLogIn()
    {
        ScriptedDialogs dialogs;
        SwitchSim sim({"--drop-at-command", "2"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        TTelnetOperations operations;
        aimAt(operations, sim);
        QVERIFY(operations.Login());
        operations.Telnet->Send("show version\n");

        try {
            operations.Pause(2000);
            QFAIL("the closed connection went unnoticed");
        } catch (const Exception &error) {
            QCOMPARE(error.message(), QString("Telnet conection is closed"));
        }
        QCOMPARE(dialogs.texts(), QStringList{"Telnet is closed , application will now terminat."});
        QCOMPARE(dialogs.shown()[0].kind, MessageKind::Error);
        QVERIFY(Platform::terminateRequested());
    }

    void logsInAtFullSpeed()
    {
        Platform::setTimeScale(1.0);
        ScriptedDialogs dialogs;
        SwitchSim sim({"--stack-master", "2"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        TTelnetOperations operations;
        aimAt(operations, sim);
        QVERIFY(operations.Login());
        QCOMPARE(operations.StackUnit, QString(" unit 2"));
        QCOMPARE(operations.Telnet->DutPromptInCliMode, QString("console#"));
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
