#include "SnmpDatagrams.h"

#include "access/Ber.h"
#include "access/SnmpMessage.h"

#include <QtTest>

// The BER forms the manager writes and reads, checked byte by byte against X.690 and the
// fixed choices of this manager (lengths, unsigned widths, identifiers).
class TestSnmpCodec : public QObject
{
    Q_OBJECT

private slots:
    void encodeValue_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("integer zero") << 2 << QByteArray("0") << hex("020100");
        QTest::newRow("integer 127") << 2 << QByteArray("127") << hex("02017f");
        QTest::newRow("integer 128 needs a sign byte") << 2 << QByteArray("128") << hex("02020080");
        QTest::newRow("integer -1") << 2 << QByteArray("-1") << hex("0201ff");
        QTest::newRow("integer -128") << 2 << QByteArray("-128") << hex("020180");
        QTest::newRow("integer -129") << 2 << QByteArray("-129") << hex("0202ff7f");
        QTest::newRow("integer largest") << 2 << QByteArray("2147483647") << hex("02047fffffff");
        QTest::newRow("integer smallest") << 2 << QByteArray("-2147483648") << hex("020480000000");

        QTest::newRow("TimeTicks 5 keeps four bytes") << 67 << QByteArray("5") << hex("430400000005");
        QTest::newRow("Counter32 largest takes five") << 65 << QByteArray("4294967295") << hex("410500ffffffff");
        QTest::newRow("Gauge32 zero") << 66 << QByteArray("0") << hex("420400000000");
        QTest::newRow("UInteger32 top bit") << 71 << QByteArray("2147483648") << hex("47050080000000");
        QTest::newRow("Counter64 zero") << 70 << QByteArray("0") << hex("460100");
        QTest::newRow("Counter64 largest") << 70 << QByteArray("18446744073709551615") << hex("460900ffffffffffffffff");

        QTest::newRow("oid sysContact") << 6 << QByteArray("1.3.6.1.2.1.1.4.0") << hex("06082b06010201010400");
        QTest::newRow("oid multi-byte arc") << 6 << QByteArray("1.3.6.1.4.1.99999") << hex("06082b06010401868d1f");
        QTest::newRow("oid arc of 32 bits") << 6 << QByteArray("1.3.4294967295") << hex("06062b8fffffff7f");
        QTest::newRow("oid arc 2 with a large second") << 6 << QByteArray("2.999") << hex("06028837");
        QTest::newRow("oid of one arc") << 6 << QByteArray("1") << hex("060100");
        QTest::newRow("oid empty") << 6 << QByteArray() << hex("060100");

        QTest::newRow("ip address") << 64 << QByteArray("127.0.0.2") << hex("40047f000002");
        QTest::newRow("null ignores the text") << 5 << QByteArray("ignored") << hex("0500");
        QTest::newRow("empty octet string") << 4 << QByteArray() << hex("0400");
        QTest::newRow("opaque keeps the bytes") << 68 << QByteArray("\x01\x02", 2) << hex("44020102");
        QTest::newRow("octet string of 200 takes 0x81")
            << 4 << QByteArray(200, 'x') << hex("0481c8") + QByteArray(200, 'x');
        QTest::newRow("octet string of 300 takes 0x82")
            << 4 << QByteArray(300, 'x') << hex("0482012c") + QByteArray(300, 'x');
    }
    void encodeValue()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QByteArray tlv;
        QVERIFY(Snmp::encodeValue(type, text, tlv));
        QCOMPARE(tlv.toHex(' '), expected.toHex(' '));
    }

    void encodeValueRefuses_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("text");

        QTest::newRow("integer above 32 bits") << 2 << QByteArray("2147483648");
        QTest::newRow("integer not a number") << 2 << QByteArray("abc");
        QTest::newRow("integer empty") << 2 << QByteArray();
        QTest::newRow("counter negative") << 65 << QByteArray("-1");
        QTest::newRow("counter above 32 bits") << 65 << QByteArray("4294967296");
        QTest::newRow("oid with a letter") << 6 << QByteArray("1.3.x");
        QTest::newRow("oid with an empty arc") << 6 << QByteArray("1..3");
        QTest::newRow("oid first arc 3") << 6 << QByteArray("3.1");
        QTest::newRow("oid second arc 40 under 1") << 6 << QByteArray("1.40");
        QTest::newRow("oid arc above 32 bits") << 6 << QByteArray("1.3.4294967296");
        QTest::newRow("ip address of three parts") << 64 << QByteArray("1.2.3");
        QTest::newRow("ip address part above 255") << 64 << QByteArray("1.2.3.256");
        QTest::newRow("string beyond 65535") << 4 << QByteArray(65536, 'x');
        QTest::newRow("tag beyond one byte") << 256 << QByteArray();
        QTest::newRow("high tag-number form") << 0x1F << QByteArray();
    }
    void encodeValueRefuses()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, text);
        QByteArray tlv;
        QVERIFY(!Snmp::encodeValue(type, text, tlv));
    }

    // A value decoded from its own encoding gives the text back, for every type.
    void valueRoundTrip_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("integer") << 2 << QByteArray("-2147483648");
        QTest::newRow("octet string") << 4 << QByteArray("a\0b", 3);
        QTest::newRow("null") << 5 << QByteArray();
        QTest::newRow("oid") << 6 << QByteArray("1.3.6.1.4.1.99999.1.1.24");
        QTest::newRow("oid under arc 2") << 6 << QByteArray("2.999.1");
        QTest::newRow("ip address") << 64 << QByteArray("192.168.1.254");
        QTest::newRow("Counter32") << 65 << QByteArray("4294967295");
        QTest::newRow("Gauge32") << 66 << QByteArray("7");
        QTest::newRow("TimeTicks") << 67 << QByteArray("2147483648");
        QTest::newRow("Opaque") << 68 << QByteArray("\xff", 1);
        QTest::newRow("NsapAddress") << 69 << QByteArray("\x47\x00", 2);
        QTest::newRow("Counter64") << 70 << QByteArray("18446744073709551615");
        QTest::newRow("UInteger32") << 71 << QByteArray("0");
        QTest::newRow("exception noSuchObject") << 0x80 << QByteArray();
    }
    void valueRoundTrip()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, text);
        Snmp::Message sent;
        sent.pdu = Snmp::GetResponse;
        sent.variables = {{QStringLiteral("1.3.6.1.2.1.1.4.0"), type, text}};
        QByteArray datagram;
        QVERIFY(Snmp::encodeMessage(sent, datagram));
        Snmp::Message received;
        QCOMPARE(Snmp::decodeMessage(datagram, received), Snmp::DecodeResult::Ok);
        QCOMPARE(received.variables.size(), 1);
        QCOMPARE(received.variables[0].type, type);
        QCOMPARE(received.variables[0].value, text);
    }

    // Agents that encode the first sub-identifier of arc 2 as 80 + second (X.690 8.19.4).
    void oidFirstSubIdentifier_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("dotted");
        QTest::newRow("0.39") << hex("27") << "0.39";
        QTest::newRow("1.3") << hex("2b") << "1.3";
        QTest::newRow("2.0") << hex("50") << "2.0";
        QTest::newRow("2.48") << hex("8100") << "2.48";
        QTest::newRow("2.999") << hex("8837") << "2.999";
    }
    void oidFirstSubIdentifier()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, dotted);
        QString text;
        QCOMPARE(Ber::readOid(content, text), Ber::Status::Ok);
        QCOMPARE(text, dotted);
    }

    // One row per way a length or a value can lie about the bytes it has.
    void readTlvStatus_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Ber::Status>("status");
        QTest::addColumn<int>("contentSize");

        QTest::newRow("short form") << hex("0403616263") << Ber::Status::Ok << 3;
        QTest::newRow("long form, 1 byte") << hex("048103616263") << Ber::Status::Ok << 3;
        QTest::newRow("long form, 4 bytes") << hex("048400000003616263") << Ber::Status::Ok << 3;
        QTest::newRow("trailing bytes stay outside") << hex("040161ff") << Ber::Status::Ok << 1;
        QTest::newRow("empty") << QByteArray() << Ber::Status::Truncated << 0;
        QTest::newRow("tag alone") << hex("04") << Ber::Status::Truncated << 0;
        QTest::newRow("content short by one") << hex("04036162") << Ber::Status::Truncated << 0;
        QTest::newRow("length bytes cut") << hex("048200") << Ber::Status::Truncated << 0;
        QTest::newRow("4-byte length beyond the buffer") << hex("0484ffffffff61") << Ber::Status::Truncated << 0;
        QTest::newRow("indefinite form") << hex("30800000") << Ber::Status::BadLength << 0;
        QTest::newRow("5-byte length") << hex("04850000000001") + "a" << Ber::Status::BadLength << 0;
        QTest::newRow("high tag-number form") << hex("1f0100") << Ber::Status::BadTag << 0;
    }
    void readTlvStatus()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Ber::Status, status);
        QFETCH(int, contentSize);
        Ber::Tlv tlv;
        QCOMPARE(Ber::readTlv(bytes, tlv), status);
        if (status == Ber::Status::Ok)
            QCOMPARE(tlv.content.size(), contentSize);
    }

    void readNumbers_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("integerOk");
        QTest::addColumn<bool>("unsignedOk");

        QTest::newRow("one byte") << hex("05") << true << true;
        QTest::newRow("negative") << hex("ff") << true << false;
        QTest::newRow("four bytes, top bit") << hex("ffffffff") << true << false;
        QTest::newRow("five with leading zero") << hex("00ffffffff") << false << true;
        QTest::newRow("five with leading one") << hex("01ffffffff") << false << false;
        QTest::newRow("six bytes") << hex("0000ffffffff") << false << false;
        QTest::newRow("no content") << QByteArray() << false << false;
    }
    void readNumbers()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, integerOk);
        QFETCH(bool, unsignedOk);
        qint32 integer = 0;
        quint32 number = 0;
        QCOMPARE(Ber::readInteger(content, integer) == Ber::Status::Ok, integerOk);
        QCOMPARE(Ber::readUnsigned32(content, number) == Ber::Status::Ok, unsignedOk);
    }

    // Each datagram of the refused table in a heap block of exactly its size, so that the
    // address sanitizer sees a read one byte too far.
    void badDatagramsInExactBuffers()
    {
        for (const BadDatagram &row : refusedDatagrams()) {
            const auto block = std::make_unique<char[]>(std::max<qsizetype>(row.bytes.size(), 1));
            std::copy_n(row.bytes.constData(), row.bytes.size(), block.get());
            Snmp::Message received;
            const Snmp::DecodeResult result = Snmp::decodeMessage(QByteArrayView(block.get(), row.bytes.size()), received);
            QVERIFY2(result != Snmp::DecodeResult::Ok, row.name.constData());
            QVERIFY2((result == Snmp::DecodeResult::UnknownPdu) == (row.code == 306), row.name.constData());
        }
    }

    // Every prefix of a message, each in a heap block of exactly its size so that the address
    // sanitizer sees a read one byte too far, is refused; the whole message decodes.
    void truncatedInExactBuffers()
    {
        Snmp::Message sent;
        sent.pdu = Snmp::GetResponse;
        sent.requestId = -100000;
        sent.variables = {{QStringLiteral("1.3.6.1.2.1.1.2.0"), 6, "1.3.6.1.4.1.99999.1.1.24"},
                          {QStringLiteral("1.3.6.1.2.1.1.3.0"), 67, "4294967295"},
                          {QStringLiteral("1.3.6.1.2.1.4.20.1.1.127.0.0.2"), 64, "127.0.0.2"},
                          {QStringLiteral("1.3.6.1.2.1.31.1.1.1.6.1"), 70, "18446744073709551615"},
                          {QStringLiteral("1.3.6.1.2.1.1.4.0"), 4, QByteArray(300, 'x')}};
        QByteArray datagram;
        QVERIFY(Snmp::encodeMessage(sent, datagram));
        for (qsizetype size = 0; size <= datagram.size(); ++size) {
            const auto block = std::make_unique<char[]>(std::max<qsizetype>(size, 1));
            std::copy_n(datagram.constData(), size, block.get());
            Snmp::Message received;
            const Snmp::DecodeResult result = Snmp::decodeMessage(QByteArrayView(block.get(), size), received);
            QCOMPARE(result == Snmp::DecodeResult::Ok, size == datagram.size());
        }
    }

    // The v1 trap header travels in place of the request id and the error fields.
    void trapRoundTrip()
    {
        Snmp::Message sent;
        sent.pdu = Snmp::TrapV1;
        sent.enterprise = QStringLiteral("1.3.6.1.4.1.99999");
        sent.agentAddress = QStringLiteral("127.0.0.2");
        sent.genericTrap = 6;
        sent.specificTrap = 42;
        sent.timeStamp = 4000000000u;
        QByteArray datagram;
        QVERIFY(Snmp::encodeMessage(sent, datagram));
        QVERIFY(datagram.contains(hex("a4")));
        Snmp::Message received;
        QCOMPARE(Snmp::decodeMessage(datagram, received), Snmp::DecodeResult::Ok);
        QCOMPARE(received.enterprise, sent.enterprise);
        QCOMPARE(received.agentAddress, sent.agentAddress);
        QCOMPARE(received.genericTrap, 6);
        QCOMPARE(received.specificTrap, 42);
        QCOMPARE(received.timeStamp, 4000000000u);
    }
};

QTEST_APPLESS_MAIN(TestSnmpCodec)
#include "tst_snmpcodec.moc"
