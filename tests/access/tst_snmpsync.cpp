#include "SnmpLoopbackPeer.h"

#include "access/Ber.h"
#include "access/SnmpSync.h"
#include "platform/Clock.h"
#include "platform/Exceptions.h"

#include "CountedClock.h"

#include <QtTest>

#include <sys/prctl.h>

namespace {

const QString kSysContact = QStringLiteral("1.3.6.1.2.1.1.4");

// An agent that answers every request with this status and, when it is 0, this value.
auto answering(int status, const QByteArray &value = {})
{
    return [=](const Snmp::Message &request) -> std::optional<Snmp::Message> {
        Snmp::Message reply = request;
        reply.pdu = Snmp::GetResponse;
        reply.errorStatus = status;
        reply.errorIndex = status == 0 ? 0 : 1;
        if (status == 0 && request.pdu == Snmp::GetRequest) {
            for (Snmp::Variable &variable : reply.variables) {
                variable.type = Ber::OctetString;
                variable.value = value;
            }
        }
        return reply;
    };
}

// TSNMP aimed at a loopback agent whose answers the test scripts.
struct Harness
{
    SnmpLoopbackPeer agent;
    TSNMP snmp;

    Harness()
    {
        snmp.SetRemoteHost(QStringLiteral("127.0.0.1"));
        snmp.SetRemotePort(agent.port());
    }

    QList<int> requestIds() const
    {
        QList<int> ids;
        for (const QNetworkDatagram &datagram : agent.received) {
            Snmp::Message request;
            Snmp::decodeMessage(datagram.data(), request);
            ids << request.requestId;
        }
        return ids;
    }
};

} // namespace

class TestSnmpSync : public QObject
{
    Q_OBJECT

    CountedClock m_clock{0.01};

private slots:
    // The waits sleep a few microseconds per round on the accelerated clock; the kernel's
    // default timer slack of 50 us would otherwise set the pace of every silent attempt.
    void initTestCase() { prctl(PR_SET_TIMERSLACK, 1UL); }

    void privateMib_data()
    {
        QTest::addColumn<QString>("privateMib");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("oid");
        QTest::addColumn<QString>("translated");

        QTest::newRow("dot added") << "9999" << "9999." << "1.3.6.1.4.1.89.2.1" << "1.3.6.1.4.1.9999.2.1";
        QTest::newRow("dot kept") << "9999." << "9999." << "1.3.6.1.4.1.89.2.1" << "1.3.6.1.4.1.9999.2.1";
        QTest::newRow("empty translates nothing") << "" << "" << "1.3.6.1.4.1.89.2.1" << "1.3.6.1.4.1.89.2.1";
        QTest::newRow("prefix elsewhere") << "9999" << "9999." << "1.3.6.1.2.1.3.6.1.4.1.89.1" << "1.3.6.1.2.1.3.6.1.4.1.89.1";
        QTest::newRow("other enterprise") << "9999" << "9999." << "1.3.6.1.4.1.890.1" << "1.3.6.1.4.1.890.1";
    }
    void privateMib()
    {
        QFETCH(QString, privateMib);
        QFETCH(QString, stored);
        QFETCH(QString, oid);
        QFETCH(QString, translated);
        TSNMP snmp;
        snmp.SetprivateMIB(privateMib);
        QCOMPARE(snmp.privateMIB(), stored);
        QCOMPARE(snmp.TranslateOid(oid), translated);
    }

    void errorStatusText_data()
    {
        QTest::addColumn<quint32>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0u << "Sync: [OK]";
        QTest::newRow("1") << 1u << "Sync: [ERROR: tooBig (1)]";
        QTest::newRow("2") << 2u << "Sync: [ERROR: noSuchName (2)]";
        QTest::newRow("3") << 3u << "Sync: [ERROR: badValue (3)]";
        QTest::newRow("4") << 4u << "Sync: [ERROR: readOnly (4)]";
        QTest::newRow("5") << 5u << "Sync: [ERROR: genError (5)]";
        QTest::newRow("18") << 18u << "Sync: [ERROR: unknown code (18)]";
        QTest::newRow("65535") << 65535u << "Sync: [ERROR: unknown code (65535)]";
    }
    void errorStatusText()
    {
        QFETCH(quint32, status);
        QFETCH(QString, text);
        QCOMPARE(TSNMP::ErrorStatusText(status), text);
    }

    void valueTypeToTag_data()
    {
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<int>("tag");
        QTest::newRow("OCTET STRING") << QList<int>{1, 2} << 4;
        QTest::newRow("OBJECT IDENTIFIER") << QList<int>{4} << 6;
        QTest::newRow("NULL") << QList<int>{5} << 5;
        QTest::newRow("IpAddress") << QList<int>{6} << 64;
        QTest::newRow("Counter32") << QList<int>{7, 14} << 65;
        QTest::newRow("Gauge32") << QList<int>{8} << 66;
        QTest::newRow("UInteger32") << QList<int>{9} << 71;
        QTest::newRow("TimeTicks") << QList<int>{10} << 67;
        QTest::newRow("Opaque") << QList<int>{11} << 68;
        QTest::newRow("NsapAddress") << QList<int>{12} << 69;
        QTest::newRow("Counter64") << QList<int>{13} << 70;
        QTest::newRow("INTEGER") << QList<int>{0, 3, 15, -1} << 2;
    }
    void valueTypeToTag()
    {
        QFETCH(QList<int>, codes);
        QFETCH(int, tag);
        for (const int code : codes)
            QCOMPARE(TSNMP::ValueTypeToTag(code), tag);
    }

    // An answer ends the operation after one attempt, whatever its status.
    void getValueAnswered_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("result");
        QTest::newRow("value") << 0 << "Step 3: copying";
        QTest::newRow("noSuchName") << 2 << "Sync: [ERROR: noSuchName (2)]";
        QTest::newRow("unknown status") << 18 << "Sync: [ERROR: unknown code (18)]";
    }
    void getValueAnswered()
    {
        QFETCH(int, status);
        QFETCH(QString, result);
        Harness h;
        h.agent.responder = answering(status, "Step 3: copying");
        QString value = QStringLiteral("before");
        h.snmp.GetValue(kSysContact, value);
        QCOMPARE(value, result);
        QCOMPARE(h.requestIds(), QList<int>{0});
        QCOMPARE(h.snmp.LastObjId(), QStringLiteral("1.3.6.1.2.1.1.4.0"));
        QCOMPARE(h.snmp.LastErrorStatus(), quint32(status));
    }

    // Each attempt waits 8000 div the interval rounds of one interval: 8 s of program time
    // whatever the interval, on a clock running a hundred times faster.
    void silentAgentTimesOut_data()
    {
        QTest::addColumn<int>("interval");
        QTest::newRow("1 ms") << 1;
        QTest::newRow("100 ms") << 100;
        QTest::newRow("0 counts as 1 ms") << 0;
    }
    void silentAgentTimesOut()
    {
        QFETCH(int, interval);
        Harness h;
        h.snmp.SetResponseSamplingInterval(interval);
        QString value;
        const quint32 elapsed = programMsOf([&] { h.snmp.GetValue(kSysContact, value); });
        QCOMPARE(value, QStringLiteral("timeout"));
        QVERIFY(h.agent.waitForDatagrams(3));
        QCOMPARE(h.requestIds(), (QList<int>{0, 1, 2}));
        QCOMPARE(elapsed, 24000u);
    }

    // The attempts of one operation take consecutive ids from the manager; the next operation
    // starts from a counter that began at 1 and so may repeat an id of the one before.
    void requestIdSequence()
    {
        Harness h;
        QString value;
        h.agent.responder = answering(0, "a");
        h.snmp.GetValue(kSysContact, value);
        h.snmp.GetValue(kSysContact, value);
        h.agent.responder = nullptr;
        h.snmp.GetValue(kSysContact, value);
        h.agent.responder = answering(0, "a");
        QVERIFY(h.snmp.SetValue(1, kSysContact, QStringLiteral("x")));
        QVERIFY(h.agent.waitForDatagrams(6));
        QCOMPARE(h.requestIds(), (QList<int>{0, 2, 3, 4, 5, 4}));
        QCOMPARE(h.snmp.RequestId(), 5);
    }

    void noAttempts()
    {
        Harness h;
        h.agent.responder = answering(0, "a");
        h.snmp.SetNumOfRetries(0);
        QString value = QStringLiteral("untouched");
        h.snmp.GetValue(kSysContact, value);
        QCOMPARE(value, QStringLiteral("untouched"));
        QVERIFY(!h.snmp.SetValue(1, kSysContact, QString()));
        QTest::qWait(50);
        QVERIFY(h.agent.received.isEmpty());
        QCOMPARE(h.snmp.RequestId(), 3);
    }

    // A SET answered with an error is sent again until the attempts are spent.
    void setValue_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QString>("setStatus");
        QTest::newRow("accepted") << 0 << true << true << 1 << "OK";
        QTest::newRow("refused") << 4 << true << false << 3 << "Sync: [ERROR: readOnly (4)]";
        QTest::newRow("no answer") << 0 << false << false << 3 << "";
    }
    void setValue()
    {
        QFETCH(int, status);
        QFETCH(bool, answered);
        QFETCH(bool, ok);
        QFETCH(int, attempts);
        QFETCH(QString, setStatus);
        Harness h;
        if (answered)
            h.agent.responder = answering(status);
        QCOMPARE(h.snmp.SetValue(1, kSysContact, QString()), ok);
        QVERIFY(h.agent.waitForDatagrams(attempts));
        QCOMPARE(h.agent.received.size(), attempts);
        QCOMPARE(h.snmp.LastSetStatus(), setStatus);
        QCOMPARE(h.snmp.LastSetOk(), ok);
        // The acknowledgement of the last step: an OCTET STRING of length 0.
        QVERIFY(h.agent.received[0].data().endsWith(QByteArray::fromHex("06082b060102010104000400")));
    }

    // The handler assigned before an operation is back afterwards, also when the operation
    // ends by an exception, and the request id still advances.
    void previousHandlerRestored()
    {
        Harness h;
        int earlier = 0;
        h.snmp.OnGetResponse = [&](int, const QByteArray &, quint16, quint16, const QString &, quint16) { ++earlier; };
        h.agent.responder = answering(0, "a");
        QString value;
        h.snmp.GetValue(kSysContact, value);
        QCOMPARE(value, QStringLiteral("a"));
        QCOMPARE(earlier, 0);

        try {
            h.snmp.GetValue(QStringLiteral("1.3.6.x"), value);
            QFAIL("an identifier that does not encode must fail");
        } catch (const ESocketError &e) {
            QCOMPARE(e.message(), QStringLiteral("300: Error building SNMP packet."));
        }
        QCOMPARE(h.snmp.RequestId(), 3);

        h.snmp.SetObjCount(1);
        h.snmp.SetObjId(1, QStringLiteral("1.3.6.1.2.1.1.4.0"));
        h.snmp.SetAction(snmpSendGetRequest);
        QVERIFY(SnmpLoopbackPeer::pumpUntil([&] { return earlier == 1; }));
    }

    // A stray answer without bindings ends the wait instead of failing inside the socket
    // notification.
    void answerWithoutBindings_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("result");
        QTest::newRow("status 0") << 0 << "";
        QTest::newRow("status 1") << 1 << "Sync: [ERROR: tooBig (1)]";
    }
    void answerWithoutBindings()
    {
        QFETCH(int, status);
        QFETCH(QString, result);
        Harness h;
        h.agent.responder = [&](const Snmp::Message &request) -> std::optional<Snmp::Message> {
            Snmp::Message reply = request;
            reply.pdu = Snmp::GetResponse;
            reply.errorStatus = status;
            reply.variables.clear();
            return reply;
        };
        QString value = QStringLiteral("before");
        h.snmp.GetValue(kSysContact, value);
        QCOMPARE(value, result);
        QCOMPARE(h.snmp.LastObjId(), QString());
    }
};

QTEST_GUILESS_MAIN(TestSnmpSync)
#include "tst_snmpsync.moc"
