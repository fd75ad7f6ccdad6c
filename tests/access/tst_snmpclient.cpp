#include "SnmpDatagrams.h"
#include "SnmpLoopbackPeer.h"
#include "Thrown.h"

#include "access/Ber.h"
#include "access/SnmpClient.h"
#include "platform/Exceptions.h"
#include "platform/SocketErrors.h"

#include <QtTest>

namespace {

const QString kSysContact = QStringLiteral("1.3.6.1.2.1.1.4.0");

// A manager aimed at a loopback peer, with the events it raises written down in order.
struct Harness
{
    SnmpLoopbackPeer peer;
    TSNMPClient client;
    QStringList events;
    QList<QPair<QByteArray, QString>> traces;
    int readyToSend = 0;

    Harness()
    {
        client.SetRemoteHost(QStringLiteral("127.0.0.1"));
        client.SetRemotePort(peer.port());
        client.OnError = [this](int code, const QString &text) { events << QStringLiteral("error %1 %2").arg(code).arg(text); };
        client.OnGetResponse = [this](int id, const QByteArray &community, quint16 status, quint16 index, const QString &source, quint16 port) {
            events << QStringLiteral("response %1 %2 %3 %4 %5 %6").arg(id).arg(QString::fromLatin1(community)).arg(status).arg(index).arg(source).arg(port == peer.port());
        };
        client.OnGetRequest = [this](int id, const QByteArray &community, const QString &, quint16) {
            events << QStringLiteral("get %1 %2").arg(id).arg(QString::fromLatin1(community));
        };
        client.OnGetNextRequest = [this](int id, const QByteArray &community, const QString &, quint16) {
            events << QStringLiteral("getnext %1 %2").arg(id).arg(QString::fromLatin1(community));
        };
        client.OnSetRequest = [this](int id, const QByteArray &community, const QString &, quint16) {
            events << QStringLiteral("set %1 %2").arg(id).arg(QString::fromLatin1(community));
        };
        client.OnInformRequest = [this](int id, const QByteArray &community, quint16 status, quint16 index, const QString &, quint16) {
            events << QStringLiteral("inform %1 %2 %3 %4").arg(id).arg(QString::fromLatin1(community)).arg(status).arg(index);
        };
        client.OnGetBulkRequest = [this](int id, const QByteArray &community, int nonRepeaters, int maxRepetitions, const QString &, quint16) {
            events << QStringLiteral("getbulk %1 %2 %3 %4").arg(id).arg(QString::fromLatin1(community)).arg(nonRepeaters).arg(maxRepetitions);
        };
        client.OnTrap = [this](const QByteArray &community, const QString &enterprise, const QString &agent, int generic, int specific,
                               quint32 timeStamp, const QString &, quint16) {
            events << QStringLiteral("trap %1 %2 %3 %4 %5 %6").arg(QString::fromLatin1(community), enterprise, agent).arg(generic).arg(specific).arg(timeStamp);
        };
        client.OnPDUTrace = [this](const QByteArray &packet, const QString &address) { traces.append({packet, address}); };
        client.OnReadyToSend = [this] { ++readyToSend; };
    }

    // One GetRequest for sysContact, so that the peer learns the manager's port.
    bool open()
    {
        client.SetObjCount(1);
        client.SetObjId(1, kSysContact);
        client.SetAction(snmpSendGetRequest);
        return peer.waitForDatagrams(1);
    }

    bool deliver(const QByteArray &datagram)
    {
        events.clear();
        peer.sendToManager(datagram);
        return SnmpLoopbackPeer::pumpUntil([this] { return !events.isEmpty(); });
    }

    QByteArray sent(qsizetype index) const { return peer.received.at(index).data(); }
};

} // namespace

using Setup = std::function<void(TSNMPClient &)>;
Q_DECLARE_METATYPE(Setup)

class TestSnmpClient : public QObject
{
    Q_OBJECT

private slots:
    void getRequestGoldenBytes()
    {
        Harness h;
        h.client.SetObjCount(1);
        h.client.SetObjId(1, kSysContact);
        h.client.SetObjType(1, 4);
        h.client.SetObjValue(1, "sent as NULL whatever it holds");
        h.client.SetAction(snmpSendGetRequest);
        QVERIFY(h.peer.waitForDatagrams(1));

        const QByteArray expected = hex(
            "30 26"                                 // message, 38 bytes
            "02 01 00"                              //   version 0 (SNMPv1)
            "04 06 76 65 6d 74 61 6c"               //   community "vemtal"
            "a0 19"                                 //   GetRequest, 25 bytes
            "02 01 00"                              //     request id 0
            "02 01 00"                              //     error status 0
            "02 01 00"                              //     error index 0
            "30 0e"                                 //     bindings, 14 bytes
            "30 0c"                                 //       binding, 12 bytes
            "06 08 2b 06 01 02 01 01 04 00"         //         1.3.6.1.2.1.1.4.0
            "05 00");                               //         NULL
        QCOMPARE(h.sent(0).toHex(' '), expected.toHex(' '));
        QCOMPARE(h.client.ObjType(1), 5);
        QCOMPARE(h.client.RequestId(), 1);
        QCOMPARE(h.readyToSend, 1);
        QCOMPARE(h.traces.size(), 1);
        QCOMPARE(h.traces[0].first, expected);
        QCOMPARE(h.traces[0].second, QStringLiteral("127.0.0.1"));

        h.client.SetAction(snmpSendGetRequest);
        QVERIFY(h.peer.waitForDatagrams(2));
        QByteArray next = expected;
        next[17] = 1;
        QCOMPARE(h.sent(1).toHex(' '), next.toHex(' '));
        QCOMPARE(h.peer.received[1].senderPort(), h.peer.received[0].senderPort());
        QCOMPARE(h.readyToSend, 1);
    }

    void setRequestGoldenBytes_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("empty octet string") << QByteArray() << hex(
            "30 26 02 01 00 04 06 76 65 6d 74 61 6c"
            "a3 19 02 01 00 02 01 00 02 01 00"
            "30 0e 30 0c 06 08 2b 06 01 02 01 01 04 00"
            "04 00");
        // Past 127 bytes the constructed lengths take 0x82 and two bytes, never 0x81; the
        // 200-byte value itself takes 0x81.
        QTest::newRow("constructed lengths in the 0x82 form") << QByteArray(200, 'x') << hex(
            "30 82 00 f5 02 01 00 04 06 76 65 6d 74 61 6c"
            "a3 82 00 e6 02 01 00 02 01 00 02 01 00"
            "30 82 00 d9 30 82 00 d5 06 08 2b 06 01 02 01 01 04 00"
            "04 81 c8") + QByteArray(200, 'x');
    }
    void setRequestGoldenBytes()
    {
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, expected);
        Harness h;
        h.client.SetObjCount(1);
        h.client.SetObjId(1, kSysContact);
        h.client.SetObjType(1, 4);
        h.client.SetObjValue(1, value);
        h.client.SetAction(snmpSendSetRequest);
        QVERIFY(h.peer.waitForDatagrams(1));
        QCOMPARE(h.sent(0).toHex(' '), expected.toHex(' '));
    }

    // Where each action puts its PDU tag and version, and whether it takes a request id.
    void actions_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("pdu");
        QTest::addColumn<int>("nextRequestId");

        QTest::newRow("GetNextRequest") << int(snmpSendGetNextRequest) << int(snmpverDefault) << 0xA1 << 8;
        QTest::newRow("SetRequest v2c") << int(snmpSendSetRequest) << int(snmpverV2c) << 0xA3 << 8;
        QTest::newRow("GetResponse") << int(snmpSendGetResponse) << int(snmpverV1) << 0xA2 << 8;
        QTest::newRow("GetBulkRequest") << int(snmpSendGetBulkRequest) << int(snmpverV2c) << 0xA5 << 8;
        QTest::newRow("InformRequest") << int(snmpSendInformRequest) << int(snmpverV2c) << 0xA6 << 8;
        QTest::newRow("SNMPv1 trap has no request id") << int(snmpSendTrap) << int(snmpverV1) << 0xA4 << 7;
        QTest::newRow("SNMPv2 trap") << int(snmpSendTrap) << int(snmpverV2c) << 0xA7 << 8;
    }
    void actions()
    {
        QFETCH(int, action);
        QFETCH(int, version);
        QFETCH(int, pdu);
        QFETCH(int, nextRequestId);
        Harness h;
        h.client.SetSNMPVersion(TSNMPVersion(version));
        h.client.SetRequestId(7);
        h.client.SetObjCount(1);
        h.client.SetObjId(1, kSysContact);
        h.client.SetObjValue(1, "kept");
        h.client.SetAction(TSNMPActions(action));
        QVERIFY(h.peer.waitForDatagrams(1));
        const QByteArray bytes = h.sent(0);
        QCOMPARE(bytes.mid(2, 3).toHex(), (version == snmpverV2c ? hex("020101") : hex("020100")).toHex());
        QCOMPARE(quint8(bytes.at(13)), quint8(pdu));
        QCOMPARE(h.client.RequestId(), nextRequestId);
        QVERIFY2(bytes.endsWith(hex("04046b657074")), "only a GetRequest replaces the values by NULL");
    }

    void getBulkCarriesRepetitionsInPlaceOfErrors()
    {
        Harness h;
        h.client.SetSNMPVersion(snmpverV2c);
        h.client.SetErrorStatus(3);
        h.client.SetNonRepeaters(1);
        h.client.SetMaxRepetitions(10);
        h.client.SetAction(snmpSendGetBulkRequest);
        QVERIFY(h.peer.waitForDatagrams(1));
        QCOMPARE(h.sent(0).mid(13).toHex(' '), hex("a5 0b 02 01 00 02 01 01 02 01 0a 30 00").toHex(' '));
    }

    void trapV1Header()
    {
        Harness h;
        h.client.SetTrapEnterprise(QStringLiteral("1.3.6.1.4.1.99999"));
        h.client.SetTrapAgentAddress(QStringLiteral("127.0.0.2"));
        h.client.SetGenericTrap(6);
        h.client.SetSpecificTrap(1);
        h.client.SetTrapTimeStamp(5);
        h.client.SetAction(snmpSendTrap);
        QVERIFY(h.peer.waitForDatagrams(1));
        QCOMPARE(h.sent(0).mid(13).toHex(' '),
                 hex("a4 1e 06 08 2b 06 01 04 01 86 8d 1f 40 04 7f 00 00 02 02 01 06 02 01 01 43 04 00 00 00 05 30 00").toHex(' '));
    }

    void variableList()
    {
        TSNMPClient client;
        QCOMPARE(thrownMessage<Exception>([&] { client.SetObjCount(257); }), QStringLiteral("302: Value exceeds maximum number of objects allowed."));
        client.SetObjCount(256);
        client.SetObjCount(2);
        client.SetObjId(1, kSysContact);
        client.SetObjType(1, 2);
        client.SetObjValue(1, "5");
        client.SetObjId(2, QStringLiteral("1.3.6.1.2.1.1.6.0"));
        client.SetObjType(2, 66);
        client.SetObjValue(2, "9");

        client.SetObjCount(1);
        QCOMPARE(client.ObjId(1), kSysContact);
        QCOMPARE(client.ObjType(1), 2);
        QCOMPARE(client.ObjValue(1), QByteArray("5"));
        client.SetObjCount(2);
        QCOMPARE(client.ObjId(2), QString());
        QCOMPARE(client.ObjType(2), 4);
        QCOMPARE(client.ObjValue(2), QByteArray());

        const QString badIndex = QStringLiteral("301: Invalid object index: must be in [1..ObjCount].");
        QCOMPARE(thrownMessage<Exception>([&] { client.SetObjId(3, kSysContact); }), badIndex);
        QCOMPARE(thrownMessage<Exception>([&] { client.SetObjType(0, 4); }), badIndex);
        QCOMPARE(thrownMessage<Exception>([&] { client.SetObjValue(3, "x"); }), badIndex);
        QCOMPARE(thrownMessage<Exception>([&] { client.ObjType(3); }), badIndex);
        QCOMPARE(thrownMessage<Exception>([&] { client.ObjId(3); }), QStringLiteral("Invalid array index value for ObjId"));
        QCOMPARE(thrownMessage<Exception>([&] { client.ObjValue(0); }), QStringLiteral("Invalid array index value for ObjValue"));

        client.SetAction(snmpReset);
        QCOMPARE(client.ObjCount(), 0);
    }

    void actionFailures_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("nextRequestId");

        QTest::newRow("action above 7") << Setup([](TSNMPClient &c) { c.SetAction(TSNMPActions(8)); })
                                        << "304: Invalid Action code" << 0;
        QTest::newRow("value that is no INTEGER") << Setup([](TSNMPClient &c) {
            c.SetObjCount(1);
            c.SetObjId(1, kSysContact);
            c.SetObjType(1, 2);
            c.SetObjValue(1, "abc");
            c.SetAction(snmpSendSetRequest);
        }) << "300: Error building SNMP packet." << 1;
        QTest::newRow("identifier that is no OID") << Setup([](TSNMPClient &c) {
            c.SetObjCount(1);
            c.SetObjId(1, QStringLiteral("1.3.6.x"));
            c.SetAction(snmpSendGetRequest);
        }) << "300: Error building SNMP packet." << 1;
        QTest::newRow("trap agent that is no address") << Setup([](TSNMPClient &c) { c.SetTrapAgentAddress(QStringLiteral("agent")); })
                                                       << "303: Value must be an IP address." << 0;
        QTest::newRow("no destination") << Setup([](TSNMPClient &c) {
            c.SetRemoteHost(QString());
            c.SetAction(snmpSendGetRequest);
        }) << QStringLiteral("10049: ") + Platform::socketErrorText(10049) << 1;
        QTest::newRow("local port taken") << Setup([](TSNMPClient &c) {
            c.SetLocalHost(QStringLiteral("127.0.0.1"));
            c.SetLocalPort(c.RemotePort());
            c.SetAction(snmpSendGetRequest);
        }) << QStringLiteral("10048: ") + Platform::socketErrorText(10048) << 0;
    }
    void actionFailures()
    {
        QFETCH(Setup, setup);
        QFETCH(QString, message);
        QFETCH(int, nextRequestId);
        Harness h;
        QCOMPARE(thrownMessage<Exception>([&] { setup(h.client); }), message);
        QCOMPARE(h.client.RequestId(), nextRequestId);
        QTest::qWait(20);
        QVERIFY(h.peer.received.isEmpty());
    }

    // Codes kept in memory, as a caller's table would keep them: every one is a value the
    // type can hold, and SetAction answers it with its own error.
    void codesOutsideTheActions_data()
    {
        QTest::addColumn<TSNMPActions>("action");
        QTest::newRow("8") << TSNMPActions(8);
        QTest::newRow("-1") << TSNMPActions(-1);
        QTest::newRow("1000") << TSNMPActions(1000);
    }
    void codesOutsideTheActions()
    {
        QFETCH(TSNMPActions, action);
        TSNMPClient client;
        QCOMPARE(thrownMessage<Exception>([&] { client.SetAction(action); }), QStringLiteral("304: Invalid Action code"));
    }

    // Nothing matches a response to a request: every GetResponse is reported, and its
    // bindings and version replace the manager's.
    void responseToNoRequest()
    {
        Harness h;
        QVERIFY(h.open());
        const QByteArray datagram = message(0xA2, hex("02023039") + hex("020105") + hex("020102"),
                                            binding(hex("0403616263")) + binding(hex("430400000005"), hex("06082b06010201010300")),
                                            hex("020101"), tlv(0x04, "public"));
        QVERIFY(h.deliver(datagram));
        QCOMPARE(h.events, QStringList{QStringLiteral("response 12345 public 5 2 127.0.0.1 1")});
        QCOMPARE(h.client.ObjCount(), 2);
        QCOMPARE(h.client.ObjType(1), 4);
        QCOMPARE(h.client.ObjValue(1), QByteArray("abc"));
        QCOMPARE(h.client.ObjId(2), QStringLiteral("1.3.6.1.2.1.1.3.0"));
        QCOMPARE(h.client.ObjType(2), 67);
        QCOMPARE(h.client.ObjValue(2), QByteArray("5"));
        QCOMPARE(h.client.SNMPVersion(), snmpverV2c);
        QCOMPARE(h.client.ErrorStatus(), 0);
        QCOMPARE(h.traces.last().first, datagram);
        QCOMPARE(h.traces.last().second, QStringLiteral("127.0.0.1"));
    }

    void eachPduRaisesItsEvent_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("event");

        const QByteArray header = hex("020107") + kZero + kZero;
        const QByteArray bindings = binding(hex("0500"));
        QTest::newRow("GetRequest") << message(0xA0, header, bindings) << "get 7 vemtal";
        QTest::newRow("GetNextRequest") << message(0xA1, header, bindings) << "getnext 7 vemtal";
        QTest::newRow("SetRequest") << message(0xA3, header, bindings) << "set 7 vemtal";
        QTest::newRow("InformRequest") << message(0xA6, hex("020107") + hex("020103") + hex("020101"), bindings, hex("020101"))
                                       << "inform 7 vemtal 3 1";
        QTest::newRow("GetBulkRequest") << message(0xA5, hex("020107") + hex("020101") + hex("02010a"), bindings, hex("020101"))
                                        << "getbulk 7 vemtal 1 10";
        QTest::newRow("SNMPv1 trap") << message(0xA4, hex("06082b06010401868d1f") + hex("40047f000002") + hex("020106")
                                                          + hex("02012a") + hex("430400000064"), bindings)
                                     << "trap vemtal 1.3.6.1.4.1.99999 127.0.0.2 6 42 100";
    }
    void eachPduRaisesItsEvent()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, event);
        Harness h;
        QVERIFY(h.open());
        QVERIFY(h.deliver(datagram));
        QCOMPARE(h.events, QStringList{event});
    }

    // Long length forms of 1 to 4 bytes are read wherever a length stands.
    void longFormLengths_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        const QByteArray body = kGoodResponse.mid(2);
        QTest::newRow("message, 0x81") << hex("308129") + body;
        QTest::newRow("message, 0x82") << hex("30820029") + body;
        QTest::newRow("message, 0x83") << hex("3083000029") + body;
        QTest::newRow("message, 0x84") << hex("308400000029") + body;
        QTest::newRow("value, 0x84") << message(0xA2, kZero + kZero + kZero, binding(hex("0484000000036e6f63")));
    }
    void longFormLengths()
    {
        QFETCH(QByteArray, datagram);
        Harness h;
        QVERIFY(h.open());
        QVERIFY(h.deliver(datagram));
        QCOMPARE(h.events, QStringList{QStringLiteral("response 0 vemtal 0 0 127.0.0.1 1")});
        QCOMPARE(h.client.ObjValue(1), QByteArray("noc"));
    }

    // Datagrams that must be refused whole, one row per way a datagram can be broken: each
    // raises OnError and nothing else, reads nothing outside the datagram, and leaves the
    // variable list and the version as they were.
    void badDatagrams_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("error");

        for (const BadDatagram &row : refusedDatagrams())
            QTest::newRow(row.name.constData()) << row.bytes << QStringLiteral("error %1 SNMP: Error receiving packet.").arg(row.code);
    }

    void badDatagrams()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, error);
        Harness h;
        QVERIFY(h.open());
        QVERIFY(h.deliver(datagram));
        QCOMPARE(h.events, QStringList{error});
        QCOMPARE(h.client.ObjCount(), 1);
        QCOMPARE(h.client.ObjId(1), kSysContact);
        QCOMPARE(h.client.SNMPVersion(), snmpverDefault);

        // The manager still reads what comes next.
        QVERIFY(h.deliver(kGoodResponse));
        QCOMPARE(h.events, QStringList{QStringLiteral("response 0 vemtal 0 0 127.0.0.1 1")});
    }
};

QTEST_GUILESS_MAIN(TestSnmpClient)
#include "tst_snmpclient.moc"
