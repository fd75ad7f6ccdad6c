#include "TestData.h"
#include "TestFiles.h"
#include "TftpTestPeer.h"
#include "TftpdProcess.h"

#include <QtTest>

#include <csignal>

// tessaro-tftpd as a peer sees it: the errors of refused and broken requests, each from the
// listening port, its log lines, and a clean stop on a signal.
class TestTftpd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_base;
    QString m_root;
    TftpdProcess m_tftpd;

    void writeRootFile(const QString &name, const QByteArray &bytes) { QVERIFY(writeFile(m_root + '/' + name, bytes)); }

private slots:
    void initTestCase()
    {
        // The root's name begins a sibling's name, the case that a plain prefix test gets wrong.
        m_root = m_base.filePath(QStringLiteral("Quillo"));
        QVERIFY(QDir().mkpath(m_root + QStringLiteral("/sub")));
        QVERIFY(QDir().mkpath(m_base.filePath(QStringLiteral("QuilloOld"))));
        writeRootFile(QStringLiteral("ok.txt"), "inside the root");
        QFile outside(m_base.filePath(QStringLiteral("QuilloOld/x.txt")));
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.write("outside");
        outside.close();
        // Planted as another local user could before the server starts.
        QVERIFY(QFile::link(outside.fileName(), m_root + QStringLiteral("/leak.txt")));
        QVERIFY(QFile::link(m_base.filePath(QStringLiteral("QuilloOld")), m_root + QStringLiteral("/away")));
        QVERIFY2(m_tftpd.start(m_root), qPrintable(m_tftpd.errorText()));
    }

    void requestErrors_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("code");
        // %1 the peer's port, %2 the root, %3 the root's parent.
        QTest::addColumn<QString>("message");
        // The log line after "ip:port - ", or empty when the request does not reach the host.
        QTest::addColumn<QString>("logLine");

        auto rrq = [](const QByteArray &name) { return TftpTestPeer::request(1, name, "octet"); };
        auto wrq = [](const QByteArray &name) { return TftpTestPeer::request(2, name, "octet"); };
        QTest::newRow("missing file") << rrq("missing.bin") << 1 << "Cannot open file %2/missing.bin"
                                      << "Read access to %2/missing.bin denied";
        QTest::newRow("parent folder") << rrq("../x") << 2 << "Access to %3/x denied" << "Read access to %3/x denied";
        QTest::newRow("absolute path") << rrq("/etc/hostname") << 2 << "Access to /etc/hostname denied"
                                       << "Read access to /etc/hostname denied";
        QTest::newRow("sibling folder named like the root") << rrq("../QuilloOld/x.txt") << 2
                                                            << "Access to %3/QuilloOld/x.txt denied"
                                                            << "Read access to %3/QuilloOld/x.txt denied";
        QTest::newRow("root's name in capitals") << rrq("../QUILLO/ok.txt") << 2 << "Access to %3/QUILLO/ok.txt denied"
                                                 << "Read access to %3/QUILLO/ok.txt denied";
        QTest::newRow("write outside") << wrq("../evil.txt") << 2 << "Access to %3/evil.txt denied"
                                       << "Write access to %3/evil.txt denied";
        QTest::newRow("write into a missing folder") << wrq("none/x.bin") << 3 << "Cannot create file %2/none/x.bin"
                                                     << "Write access to %2/none/x.bin denied";
        QTest::newRow("write over a folder") << wrq("sub") << 3 << "Cannot create file %2/sub"
                                             << "Write access to %2/sub denied";
        QTest::newRow("read through a link to outside") << rrq("leak.txt") << 2 << "Access to %2/leak.txt denied"
                                                        << "Read access to %2/leak.txt denied";
        QTest::newRow("write through a link to outside") << wrq("leak.txt") << 2 << "Access to %2/leak.txt denied"
                                                         << "Write access to %2/leak.txt denied";
        QTest::newRow("write into a linked folder outside") << wrq("away/new.txt") << 2
                                                            << "Access to %2/away/new.txt denied"
                                                            << "Write access to %2/away/new.txt denied";
        // The log shows the name's control characters spelt out, on one line.
        QTest::newRow("name with a newline") << rrq("ok.txt\n127.0.0.1:1 - Read access to x granted") << 2
                                             << "Access to %2/ok.txt\n127.0.0.1:1 - Read access to x granted denied"
                                             << "Read access to %2/ok.txt\\n127.0.0.1:1 - Read access to x granted denied";
        QTest::newRow("name with an escape sequence") << wrq("a\x1b[2J") << 2 << "Access to %2/a\x1b[2J denied"
                                                      << "Write access to %2/a\\x1b[2J denied";
        QTest::newRow("DATA on the listening port") << TftpTestPeer::data(1, "x") << 4
                                                    << "Unexpected operation from 127.0.0.1:%1" << "";
        QTest::newRow("ERROR on the listening port") << QByteArray("\0\5\0\0x\0", 6) << 4
                                                     << "Unexpected operation from 127.0.0.1:%1" << "";
        QTest::newRow("unknown mode") << TftpTestPeer::request(1, "ok.txt", "mail") << 4
                                      << "Unsupported transfer mode: \"mail\"" << "";
        QTest::newRow("one byte") << QByteArray("\1", 1) << 0 << "Stream read error" << "";
        QTest::newRow("bad blksize") << TftpTestPeer::request(1, "ok.txt", "octet", {"blksize", "12x"}) << 0
                                     << "'12x' is not a valid integer value" << "";
    }
    void requestErrors()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(int, code);
        QFETCH(QString, message);
        QFETCH(QString, logLine);
        TftpTestPeer peer;
        const QString parent = m_base.path();
        auto expand = [&](const QString &text) {
            return QString(text).replace(QLatin1String("%1"), QString::number(peer.port()))
                .replace(QLatin1String("%2"), m_root)
                .replace(QLatin1String("%3"), parent);
        };

        peer.send(datagram, m_tftpd.port());
        const auto error = peer.receive();
        QVERIFY(error);
        QCOMPARE(error->fromPort, m_tftpd.port());
        QCOMPARE(error->opcode, quint16(5));
        QCOMPARE(int(error->number), code);
        QCOMPARE(QString::fromLocal8Bit(error->body), expand(message));
        QCOMPARE(error->raw.back(), '\0');
        if (!logLine.isEmpty()) {
            const QString line = QStringLiteral("127.0.0.1:%1 - ").arg(peer.port()) + expand(logLine);
            QVERIFY2(m_tftpd.waitForLine(line), qPrintable(m_tftpd.lines().join(QLatin1Char('\n'))));
        }
        QCOMPARE(readFile(m_base.filePath(QStringLiteral("QuilloOld/x.txt"))), QByteArray("outside"));
        QVERIFY(!QFile::exists(m_base.filePath(QStringLiteral("QuilloOld/new.txt"))));
    }

    // A received file replaces the earlier one only once the transfer has completed; until
    // then, and for good when it fails, the earlier file stays as it was.
    void writeReplacesOnCompletion_data()
    {
        QTest::addColumn<bool>("completes");
        QTest::newRow("completed") << true;
        QTest::newRow("aborted by the client") << false;
    }
    void writeReplacesOnCompletion()
    {
        QFETCH(bool, completes);
        writeRootFile(QStringLiteral("conf_file.txt"), "earlier configuration");
        const QByteArray content = pattern(700);
        TftpTestPeer peer;
        peer.sendRequest(2, "conf_file.txt", "octet", m_tftpd.port());
        const auto ack0 = peer.receive();
        QVERIFY(ack0);
        QCOMPARE(ack0->raw, TftpTestPeer::ack(0));
        peer.sendData(1, content.left(512), ack0->fromPort);
        QCOMPARE(peer.receive()->raw, TftpTestPeer::ack(1));
        QCOMPARE(readFile(m_root + QStringLiteral("/conf_file.txt")), QByteArray("earlier configuration"));

        const QString prefix = QStringLiteral("127.0.0.1:%1 - ").arg(peer.port());
        if (completes) {
            peer.sendData(2, content.mid(512), ack0->fromPort);
            QCOMPARE(peer.receive()->raw, TftpTestPeer::ack(2));
            QVERIFY(m_tftpd.waitForLine(prefix + QStringLiteral("Transfer completed - 700 bytes transferred")));
        } else {
            peer.send(QByteArray("\0\5\0\0stop\0", 9), ack0->fromPort);
            QVERIFY(m_tftpd.waitForLine(prefix + QStringLiteral("Transfer aborted - 512 bytes transferred")));
        }
        QCOMPARE(readFile(m_root + QStringLiteral("/conf_file.txt")),
                 completes ? content : QByteArray("earlier configuration"));
        QCOMPARE(QDir(m_root).entryList(QDir::Files | QDir::Hidden | QDir::System).filter(QStringLiteral("conf_file")),
                 QStringList{QStringLiteral("conf_file.txt")});
    }

    void writeToAFileBeingReadIsRefused()
    {
        const QByteArray image = pattern(3000);
        writeRootFile(QStringLiteral("image.ros"), image);
        TftpTestPeer reader;
        reader.sendRequest(1, "image.ros", "octet", m_tftpd.port());
        const auto data1 = reader.receive();
        QVERIFY(data1);
        QCOMPARE(data1->number, quint16(1));

        TftpTestPeer writer;
        writer.sendRequest(2, "sub/../image.ros", "octet", m_tftpd.port());
        const auto refusal = writer.receive();
        QVERIFY(refusal);
        QCOMPARE(refusal->raw, QByteArray("\0\5\0\2", 4) + (m_root + QStringLiteral("/image.ros is being read")).toLocal8Bit() + '\0');
        QCOMPARE(refusal->fromPort, m_tftpd.port());
        QVERIFY(m_tftpd.waitForLine(QStringLiteral("127.0.0.1:%1 - Write access to %2/image.ros denied")
                                        .arg(writer.port()).arg(m_root)));

        QByteArray received = data1->body;
        for (quint16 block = 1; received.size() < image.size() || received.size() % 512 == 0; ++block) {
            reader.sendAck(block, data1->fromPort);
            const auto next = reader.receive();
            QVERIFY(next);
            QCOMPARE(next->number, quint16(block + 1));
            received += next->body;
            if (next->body.size() < 512) {
                reader.sendAck(next->number, data1->fromPort);
                break;
            }
        }
        QCOMPARE(received, image);
        QVERIFY(m_tftpd.waitForLine(QStringLiteral("127.0.0.1:%1 - Transfer completed - 3000 bytes transferred")
                                        .arg(reader.port())));

        // Once the read has ended, the same write is served.
        writer.sendRequest(2, "image.ros", "octet", m_tftpd.port());
        QCOMPARE(writer.receive()->raw, TftpTestPeer::ack(0));
    }

    void grantedReadAndItsLines()
    {
        TftpTestPeer peer;
        peer.sendRequest(1, "sub/../ok.txt", "octet", m_tftpd.port());
        const auto data = peer.receive();
        QVERIFY(data);
        QCOMPARE(data->raw, TftpTestPeer::data(1, "inside the root"));
        QVERIFY(data->fromPort != m_tftpd.port());
        peer.sendAck(1, data->fromPort);
        const QString prefix = QStringLiteral("127.0.0.1:%1 - ").arg(peer.port());
        QVERIFY(m_tftpd.waitForLine(prefix + QStringLiteral("Read access to %1/ok.txt granted").arg(m_root)));
        QVERIFY(m_tftpd.waitForLine(prefix + QStringLiteral("Transfer completed - 15 bytes transferred")));
    }

    void stopsOnSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }
    void stopsOnSignal()
    {
        QFETCH(int, signal);
        writeRootFile(QStringLiteral("big.bin"), QByteArray(3000, 'b'));
        TftpdProcess tftpd;
        QVERIFY2(tftpd.start(m_root), qPrintable(tftpd.errorText()));
        TftpTestPeer peer;
        peer.sendRequest(1, "big.bin", "octet", tftpd.port());
        const auto data = peer.receive();
        QVERIFY(data);
        QCOMPARE(data->number, quint16(1));

        ::kill(pid_t(tftpd.process().processId()), signal);
        QVERIFY(tftpd.process().waitForFinished(5000));
        QCOMPARE(tftpd.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(tftpd.process().exitCode(), 0);
        const QString prefix = QStringLiteral("127.0.0.1:%1 - ").arg(peer.port());
        QCOMPARE(tftpd.lines().constLast(), prefix + QStringLiteral("Transfer aborted - 512 bytes transferred"));
        // A repeated DATA 1 may come before the ERROR.
        std::optional<TftpTestPeer::Packet> packet;
        do {
            packet = peer.receive();
            QVERIFY(packet);
        } while (packet->opcode == 3);
        QCOMPARE(packet->raw, QByteArray("\0\5\0\0Operation aborted\0", 22));
    }
};

QTEST_MAIN(TestTftpd)
#include "tst_tftpd.moc"
