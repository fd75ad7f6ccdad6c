#include "access/TelnetClient.h"
#include "platform/Exceptions.h"
#include "platform/MessagePump.h"

#include "TestData.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

// The client against a server of the test's own on loopback.
class TestTelnetClient : public QObject
{
    Q_OBJECT

    QTcpServer m_server;

    QTcpSocket *connectClient(TTelnetClient &client)
    {
        client.SetRemoteHost("127.0.0.1");
        client.SetRemotePort(m_server.serverPort());
        client.SetConnected(true);
        if (!m_server.waitForNewConnection(5000))
            return nullptr;
        QTcpSocket *peer = m_server.nextPendingConnection();
        QDeadlineTimer deadline(5000);
        while (!client.Connected() && !deadline.hasExpired())
            QTest::qWait(10);
        return client.Connected() ? peer : nullptr;
    }

    static int errorCode(const std::function<void()> &action)
    {
        try {
            action();
        } catch (const ESocketError &error) {
            return error.code();
        }
        return 0;
    }

private slots:
    void initTestCase() { QVERIFY(m_server.listen(QHostAddress::LocalHost)); }

    void connectsReceivesAndReportsTheServersClose()
    {
        TTelnetClient client;
        QList<int> connectedStatus;
        QStringList events;
        QByteArray received;
        client.OnConnected = [&](int status, const QString &text) { connectedStatus << status; events << text; };
        client.OnDataIn = [&](const QByteArray &text) { received += text; };
        client.OnDo = [&](int option) { events << QString("do %1").arg(option); };
        client.OnDisconnected = [&](int status, const QString &text) { events << QString("closed %1 %2").arg(status).arg(text); };

        QTcpSocket *peer = connectClient(client);
        QVERIFY(peer);
        QCOMPARE(connectedStatus, QList<int>{0});
        QCOMPARE(client.LocalHost(), QString("127.0.0.1"));

        peer->write("\xff\xfd\x01hello");
        peer->flush();
        QTRY_COMPARE(received, QByteArray("hello"));
        QCOMPARE(events.mid(1, 1), QStringList{"do 1"});
        // A DO stays unanswered.
        QVERIFY(!peer->waitForReadyRead(200));

        client.Send("abc");
        QCOMPARE(client.BytesSent(), 3);
        QVERIFY(peer->waitForReadyRead(5000));
        QCOMPARE(peer->readAll(), QByteArray("abc"));

        peer->disconnectFromHost();
        QTRY_VERIFY(!client.Connected());
        QCOMPARE(events.last(), QString("closed 0 OK"));
        QCOMPARE(client.BytesSent(), 0);
        delete peer;
    }

    // The handlers may belong to an object that is half destroyed by then (a derived
    // terminal's members are gone before the client's destructor runs).
    void destroyingAConnectedClientRaisesNoEvent()
    {
        QStringList events;
        auto client = std::make_unique<TTelnetClient>();
        QScopedPointer<QTcpSocket> peer(connectClient(*client));
        QVERIFY(peer);
        client->OnDisconnected = [&](int status, const QString &) { events << QString("closed %1").arg(status); };
        client->OnError = [&](int code, const QString &) { events << QString("error %1").arg(code); };
        client.reset();
        QCOMPARE(events, QStringList());
    }

    void emptyTextSendsNothingAndKeepsBytesSent()
    {
        TTelnetClient client;
        QScopedPointer<QTcpSocket> peer(connectClient(client));
        QVERIFY(peer);
        client.Send("xy");
        client.Send("");
        QCOMPARE(client.BytesSent(), 2);
        client.SetConnected(false);
    }

    void refusedConnectionArrivesAsAnEvent()
    {
        TTelnetClient client;
        QStringList events;
        client.OnConnected = [&](int status, const QString &text) { events << QString("%1 %2").arg(status).arg(text); };
        client.SetRemoteHost("127.0.0.1");
        client.SetRemotePort(closedPort());
        client.SetConnected(true);
        QTRY_COMPARE(events, QStringList{"10061 [10061] Connection refused"});
        QVERIFY(!client.Connected());
    }

    void misuseRaisesItsCode()
    {
        TTelnetClient client;
        QCOMPARE(errorCode([&] { client.Send("x"); }), 10057);
        QCOMPARE(errorCode([&] { client.SetConnected(true); }), 102);
        client.SetRemoteHost("127.0.0.1");
        client.SetRemotePort(0);
        QCOMPARE(errorCode([&] { client.SetConnected(true); }), 116);

        client.SetRemotePort(m_server.serverPort());
        client.SetConnected(true);
        QCOMPARE(errorCode([&] { client.SetRemoteHost("127.0.0.2"); }), 101);
        QCOMPARE(errorCode([&] { client.SetRemotePort(24); }), 100);
        QCOMPARE(errorCode([&] { client.SetLocalPort(1); }), 106);
        client.SetConnected(false);
        delete m_server.nextPendingConnection();
    }

    void exceptionTextCarriesCodeAndMessage()
    {
        TTelnetClient client;
        try {
            client.Send("x");
            QFAIL("no error raised");
        } catch (const ESocketError &error) {
            QCOMPARE(error.message(), QString("10057: [10057] Socket is not connected"));
        }
    }
};

QTEST_MAIN(TestTelnetClient)
#include "tst_telnetclient.moc"
