#include "tftp/TrivialFTPBase.h"

#include <QtTest>

// The request parser and the packets the server builds, byte for byte.
class TestTftpWire : public QObject
{
    Q_OBJECT

private slots:
    void parseRequest_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("opcode");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<QString>("badText");

        const QByteArray rrq("\0\1", 2);
        const QByteArray wrq("\0\2", 2);
        auto z = [](const char *text) { return QByteArray(text) + '\0'; };
        using R = TTFTPRequest;

        QTest::newRow("empty datagram") << QByteArray() << int(R::Truncated) << 0 << "" << 0 << "";
        QTest::newRow("one byte") << QByteArray("\1", 1) << int(R::Truncated) << 0 << "" << 0 << "";
        QTest::newRow("DATA on the listening port") << QByteArray("\0\3\0\1x", 5) << int(R::UnexpectedOperation) << 3
                                                    << "" << 0 << "";
        QTest::newRow("opcode 0") << QByteArray("\0\0", 2) << int(R::UnexpectedOperation) << 0 << "" << 0 << "";
        QTest::newRow("plain read") << rrq + z("image.ros") + z("octet") << int(R::Ok) << 1 << "image.ros" << 0 << "";
        QTest::newRow("write, netascii") << wrq + z("conf_file.txt") + z("netascii") << int(R::Ok) << 2
                                         << "conf_file.txt" << 0 << "";
        QTest::newRow("modes in any case") << rrq + z("f") + z("OcTeT") << int(R::Ok) << 1 << "f" << 0 << "";
        QTest::newRow("binary") << rrq + z("f") + z("BINARY") << int(R::Ok) << 1 << "f" << 0 << "";
        QTest::newRow("unknown mode") << rrq + z("f") + z("mail") << int(R::UnsupportedMode) << 1 << "f" << 0
                                      << "mail";
        QTest::newRow("mode missing") << rrq + z("f") << int(R::UnsupportedMode) << 1 << "f" << 0 << "";
        QTest::newRow("name without zero byte") << rrq + "no-end" << int(R::UnsupportedMode) << 1 << "no-end" << 0
                                                << "";
        QTest::newRow("mode without zero byte") << rrq + z("f") + "octet" << int(R::Ok) << 1 << "f" << 0 << "";
        QTest::newRow("blksize") << rrq + z("f") + z("octet") + z("blksize") + z("1468") << int(R::Ok) << 1 << "f"
                                 << 1468 << "";
        QTest::newRow("blksize after tsize (curl's order)")
            << rrq + z("f") + z("octet") + z("tsize") + z("0") + z("blksize") + z("1024") + z("timeout") + z("6")
            << int(R::Ok) << 1 << "f" << 1024 << "";
        QTest::newRow("option names in any case") << rrq + z("f") + z("octet") + z("BlkSize") + z("8192") << int(R::Ok)
                                                  << 1 << "f" << 8192 << "";
        QTest::newRow("first blksize wins") << rrq + z("f") + z("octet") + z("blksize") + z("1024") + z("blksize")
                                                   + z("x")
                                            << int(R::Ok) << 1 << "f" << 1024 << "";
        QTest::newRow("other options only") << rrq + z("f") + z("octet") + z("tsize") + z("0") << int(R::Ok) << 1 << "f"
                                            << 0 << "";
        QTest::newRow("negative blksize") << rrq + z("f") + z("octet") + z("blksize") + z("-5") << int(R::Ok) << 1
                                          << "f" << -5 << "";
        QTest::newRow("blksize not a number") << rrq + z("f") + z("octet") + z("blksize") + z("abc")
                                              << int(R::BadBlockSize) << 1 << "f" << 0 << "abc";
        QTest::newRow("blksize with trailing junk") << rrq + z("f") + z("octet") + z("blksize") + z("512x")
                                                    << int(R::BadBlockSize) << 1 << "f" << 0 << "512x";
        QTest::newRow("blksize with a space") << rrq + z("f") + z("octet") + z("blksize") + z(" 512")
                                              << int(R::BadBlockSize) << 1 << "f" << 0 << " 512";
        QTest::newRow("blksize beyond 32 bits") << rrq + z("f") + z("octet") + z("blksize") + z("99999999999")
                                                << int(R::BadBlockSize) << 1 << "f" << 0 << "99999999999";
        QTest::newRow("blksize without value") << rrq + z("f") + z("octet") + "blksize" << int(R::BadBlockSize) << 1
                                               << "f" << 0 << "";
    }
    void parseRequest()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(int, status);
        QFETCH(int, opcode);
        QFETCH(QString, fileName);
        QFETCH(int, blockSize);
        QFETCH(QString, badText);

        const TTFTPRequest request = ::parseRequest(datagram);
        QCOMPARE(int(request.Status), status);
        QCOMPARE(int(request.Opcode), opcode);
        QCOMPARE(request.FileName, fileName);
        QCOMPARE(request.RequestedBlockSize, blockSize);
        QCOMPARE(request.BadText, badText);
    }

    void packets_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QByteArray>("expected");
        // An OACK ends with one zero byte after the value (RFC 2347); curl refuses one with two.
        QTest::newRow("OACK") << makeOptionAckPacket(1468) << QByteArray("\0\6blksize\0" "1468\0", 15);
        QTest::newRow("ACK 0") << makeAckPacket(0) << QByteArray("\0\4\0\0", 4);
        QTest::newRow("ACK 65535") << makeAckPacket(65535) << QByteArray("\0\4\xFF\xFF", 4);
        QTest::newRow("ERROR") << makeErrorPacket(4, QStringLiteral("Timeout")) << QByteArray("\0\5\0\4Timeout\0", 12);
        QTest::newRow("ERROR, empty message") << makeErrorPacket(0, QString()) << QByteArray("\0\5\0\0\0", 5);
        QByteArray data;
        startDataPacket(data, 258);
        QTest::newRow("DATA header") << data << QByteArray("\0\3\1\2", 4);
    }
    void packets()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QByteArray, expected);
        QCOMPARE(packet, expected);
    }

    void optionAck_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("granted");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("negative") << -1 << 0;
        // A grant may not exceed the request, so small requests keep 512 without an OACK.
        QTest::newRow("RFC minimum 8") << 8 << 0;
        QTest::newRow("511") << 511 << 0;
        QTest::newRow("512") << 512 << 512;
        QTest::newRow("1468") << 1468 << 1468;
        QTest::newRow("65464") << 65464 << 65464;
        QTest::newRow("65465") << 65465 << 65464;
        QTest::newRow("70000") << 70000 << 65464;
    }
    void optionAck()
    {
        QFETCH(int, requested);
        QFETCH(int, granted);
        QCOMPARE(optionAckBlockSize(requested), granted);
    }

    void readWordChecksLength()
    {
        quint16 value = 7;
        QVERIFY(!readWord(QByteArrayView("\0\3\0", 3), 2, value));
        QCOMPARE(value, quint16(7));
        QVERIFY(readWord(QByteArrayView("\0\3\1\2", 4), 2, value));
        QCOMPARE(value, quint16(0x102));
    }

    void errorTexts()
    {
        QCOMPARE(ECouldNotBindSocket().message(),
                 QStringLiteral("Could not bind socket. Address and port are already in use."));
        QCOMPARE(EUDPSocketError(10040).message(), QStringLiteral("Socket Error # 10040\r\nMessage too long"));
        QCOMPARE(ETFTPOptionNegotiationFailed(QStringLiteral("x")).code(), quint16(8));
        QCOMPARE(ETFTPUnknownTransferID(QStringLiteral("x")).code(), quint16(5));
    }
};

QTEST_APPLESS_MAIN(TestTftpWire)
#include "tst_tftpwire.moc"
