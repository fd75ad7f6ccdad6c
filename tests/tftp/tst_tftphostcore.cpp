#include "tftp/TftpHost.h"

#include "TestData.h"
#include "TestFiles.h"
#include "TftpTestPeer.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

constexpr quint16 kRRQ = 1;
constexpr quint16 kWRQ = 2;
constexpr quint16 kDATA = 3;
constexpr quint16 kACK = 4;
constexpr int kBlock = 512;

quint16 wordAt(const QByteArray &bytes, int offset)
{
    return bytes.size() < offset + 2 ? 0 : quint16((quint8(bytes[offset]) << 8) | quint8(bytes[offset + 1]));
}

QByteArray errorPacket(const QByteArray &message)
{
    return QByteArray("\x00\x05\x00\x00", 4) + message + '\0';
}

// A TFTP client on a loopback address of its own that goes through one transfer packet by
// packet, so that a test can hold the transfer open, break it off with an ERROR or stay
// silent once. Waiting dispatches the test thread's events, where the host serves.
class ScriptedPeer final
{
public:
    struct Packet
    {
        quint16 opcode = 0;
        quint16 block = 0;
        QByteArray body;
        quint16 fromPort = 0;
    };

    explicit ScriptedPeer(const QString &address)
    {
        m_socket.setProxy(QNetworkProxy::NoProxy);
        if (!m_socket.bind(QHostAddress(address), 0))
            qFatal("scripted peer cannot bind %s: %s", qPrintable(address), qPrintable(m_socket.errorString()));
    }

    // Asks for the file and takes the server's first answer: ACK 0 to a write, DATA 1 to a
    // read. A write will send bytes.
    bool request(quint16 serverPort, const QString &name, bool writing, const QByteArray &bytes = {})
    {
        m_writing = writing;
        m_bytes = writing ? bytes : QByteArray();
        m_block = 0;
        m_over = false;
        m_socket.writeDatagram(TftpTestPeer::request(writing ? kWRQ : kRRQ, name.toLatin1(), "octet"),
                               QHostAddress::LocalHost, serverPort);
        const auto first = expect(writing ? kACK : kDATA, writing ? 0 : 1);
        if (!first)
            return false;
        m_transferPort = first->fromPort;
        if (!writing)
            received(*first);
        return true;
    }
    // The request and the first block's exchange: the transfer is then one block in.
    bool begin(quint16 serverPort, const QString &name, bool writing, const QByteArray &bytes = {})
    {
        return request(serverPort, name, writing, bytes) && (!writing || step());
    }
    // Takes the transfer to its end.
    bool finish()
    {
        while (!m_over) {
            if (!step())
                return false;
        }
        return true;
    }

    // Acknowledges the block a read has received and takes the next one, or sends a write's
    // next block and takes its acknowledgement.
    bool step()
    {
        if (!m_writing) {
            send(TftpTestPeer::ack(m_block));
            if (m_lastSize < kBlock) {
                m_over = true;
                return true;
            }
            const auto data = expect(kDATA, quint16(m_block + 1));
            if (data)
                received(*data);
            return data.has_value();
        }
        const quint16 block = quint16(m_block + 1);
        const QByteArray bytes = m_bytes.mid(qsizetype(m_block) * kBlock, kBlock);
        send(TftpTestPeer::data(block, bytes));
        if (!expect(kACK, block))
            return false;
        m_block = block;
        m_over = bytes.size() < kBlock;
        return true;
    }
    void abort() { send(errorPacket("gave up")); }

    // The next packet of this opcode and block; a repeated earlier block is passed over.
    std::optional<Packet> expect(quint16 opcode, quint16 block, int timeoutMs = 5000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (const auto packet = receive(deadline)) {
            if (packet->opcode == opcode && packet->block == block)
                return packet;
            if (packet->opcode != opcode || packet->block > block)
                return std::nullopt;
        }
        return std::nullopt;
    }

    // What a read has received.
    const QByteArray &bytes() const { return m_bytes; }

private:
    void send(const QByteArray &datagram) { m_socket.writeDatagram(datagram, QHostAddress::LocalHost, m_transferPort); }
    void received(const Packet &data)
    {
        m_bytes += data.body;
        m_block = data.block;
        m_lastSize = data.body.size();
        m_over = false;
    }
    std::optional<Packet> receive(const QDeadlineTimer &deadline)
    {
        while (!m_socket.hasPendingDatagrams()) {
            if (deadline.hasExpired())
                return std::nullopt;
            QCoreApplication::processEvents();
            m_socket.waitForReadyRead(2);
        }
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const QByteArray raw = datagram.data();
        return Packet{wordAt(raw, 0), wordAt(raw, 2), raw.mid(4), quint16(datagram.senderPort())};
    }

    QUdpSocket m_socket;
    bool m_writing = false;
    QByteArray m_bytes;
    quint16 m_transferPort = 0;
    // The last block received or acknowledged.
    quint16 m_block = 0;
    qsizetype m_lastSize = 0;
    bool m_over = false;
};

// curl, sending from source: a peer of its own address. A write sends upload.
int curl(const QString &source, quint16 port, const QString &name, bool writing, const QByteArray &upload = {},
         QByteArray *received = nullptr)
{
    QProcess process;
    const QString url = QString("tftp://127.0.0.1:%1/%2").arg(port).arg(name);
    QStringList arguments{"-q", "-s", "--noproxy", "*", "--interface", source};
    arguments += writing ? QStringList{"-T", "-", url} : QStringList{"-o", "-", url};
    process.start("curl", arguments);
    if (writing) {
        process.write(upload);
        process.closeWriteChannel();
    }
    // The host serves on this thread: keep dispatching while curl runs.
    const QDeadlineTimer deadline(30000);
    while (!process.waitForFinished(10) && !deadline.hasExpired())
        QCoreApplication::processEvents();
    if (received)
        *received = process.readAllStandardOutput();
    return process.state() == QProcess::NotRunning ? process.exitCode() : -1;
}

} // namespace

// The widget-free host with real transfers from curl and scripted clients, each peer on a
// loopback address of its own, on a test port.
class TestTftpHostCore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_root;
    std::unique_ptr<TTftpHost> m_host;
    QStringList m_log;
    quint16 m_port = 0;

private slots:
    void init()
    {
        m_root = m_dir.path() + "/Quillo";
        QVERIFY(QDir().mkpath(m_root + "/sub"));
        m_host = std::make_unique<TTftpHost>(QString());
        m_host->SetRootFolder(m_root);
        m_log.clear();
        connect(m_host.get(), &TTftpHost::logLine, [this](const QString &line) { m_log.append(line); });
        m_host->TftpServer->AddBinding("127.0.0.1", 0);
        m_host->TftpServer->SetActive(true);
        m_port = quint16(m_host->TftpServer->Bindings().front()->Port);
    }
    void cleanup()
    {
        m_host.reset();
        QVERIFY(QDir(m_root).removeRecursively());
    }

    // While the switch's own transfer runs, another peer moves the same file to its end and a
    // third breaks it off; before it, the same switch moved another file. None of them is the
    // ticket's, whose record follows only the switch's transfer of that file.
    void ticketFollowsOnlyItsOwnTransfer_data()
    {
        QTest::addColumn<bool>("writing");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("read completes") << false << true;
        QTest::newRow("read breaks off") << false << false;
        QTest::newRow("write completes") << true << true;
        QTest::newRow("write breaks off") << true << false;
    }
    void ticketFollowsOnlyItsOwnTransfer()
    {
        QFETCH(bool, writing);
        QFETCH(bool, succeeds);
        const QByteArray original = pattern(1300, 1);
        const QByteArray own = pattern(2000, 2);
        const QByteArray strangers = pattern(1500, 3);
        QVERIFY(writeFile(m_root + "/image.bin", original));
        QVERIFY(writeFile(m_root + "/other.bin", original));

        const quint64 ticket = m_host->ExpectTransfer("127.0.0.2", "image.bin", writing);
        QVERIFY(ticket != 0);
        QCOMPARE(curl("127.0.0.2", m_port, "other.bin", writing, strangers), 0);
        QCOMPARE(curl("127.0.0.3", m_port, "image.bin", writing, strangers), 0);
        QTRY_COMPARE(m_host->OpenTransfers(), 0);
        QVERIFY(!m_host->ExpectedTransfer(ticket));

        ScriptedPeer ownPeer("127.0.0.2");
        QVERIFY(ownPeer.begin(m_port, "image.bin", writing, own));
        std::optional<TTransferRecord> record = m_host->ExpectedTransfer(ticket);
        QVERIFY(record);
        QCOMPARE(record->Status, TTransferRecord::State::Running);
        QCOMPARE(record->Peer.PeerIP, QString("127.0.0.2"));
        QCOMPARE(record->FileName, m_root + "/image.bin");
        QCOMPARE(record->Writing, writing);
        QCOMPARE(record->Size, qint64(writing ? 0 : original.size()));
        QCOMPARE(record->Bytes, qint64(kBlock));
        QVERIFY(record->Started.isValid());
        QVERIFY(!record->Ended.isValid());

        QCOMPARE(curl("127.0.0.3", m_port, "image.bin", writing, strangers), 0);
        QTRY_COMPARE(m_host->OpenTransfers(), 1);
        m_host->SetTransferDone(false);
        ScriptedPeer failing("127.0.0.4");
        QVERIFY(failing.begin(m_port, "image.bin", writing, strangers));
        failing.abort();
        QTRY_VERIFY(m_host->TransferDone());
        // The flags still tell of every transfer, whoever made it.
        QVERIFY(!m_host->TransferOk());
        QVERIFY(m_log.last().startsWith("127.0.0.4:"));
        QVERIFY(m_log.last().endsWith(" - Transfer aborted - 512 bytes transferred"));
        record = m_host->ExpectedTransfer(ticket);
        QCOMPARE(record->Status, TTransferRecord::State::Running);
        QCOMPARE(record->Bytes, qint64(kBlock));

        if (succeeds)
            QVERIFY(ownPeer.finish());
        else
            ownPeer.abort();
        QTRY_VERIFY(ended(ticket));
        record = m_host->ExpectedTransfer(ticket);
        QCOMPARE(record->Status, succeeds ? TTransferRecord::State::Completed : TTransferRecord::State::Failed);
        QCOMPARE(record->Bytes, qint64(succeeds ? (writing ? own.size() : original.size()) : kBlock));
        QVERIFY(record->Ended >= record->Started);
        QCOMPARE(record->Received, writing && succeeds ? own : QByteArray());
        if (!writing && succeeds)
            QCOMPARE(ownPeer.bytes(), original);

        // The name is written again right after: the ticket keeps the bytes it was given.
        if (writing && succeeds) {
            QCOMPARE(readFile(m_root + "/image.bin"), own);
            QCOMPARE(curl("127.0.0.3", m_port, "image.bin", true, strangers), 0);
            QTRY_COMPARE(readFile(m_root + "/image.bin"), strangers);
            QCOMPARE(m_host->ExpectedTransfer(ticket)->Received, own);
        }
    }

    // Names compare as the access check expands them, addresses as IPv4 addresses.
    void ticketMatchesNameDirectionAndPeer_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("writing");
        QTest::addColumn<bool>("matches");
        QTest::newRow("the same") << "127.0.0.2" << "image.bin" << false << true;
        QTest::newRow("through a sub folder") << "127.0.0.2" << "sub/../image.bin" << false << true;
        QTest::newRow("from the root on") << "127.0.0.2" << "./image.bin" << false << true;
        QTest::newRow("letter case differs") << "127.0.0.2" << "Image.bin" << false << false;
        QTest::newRow("another file") << "127.0.0.2" << "other.bin" << false << false;
        QTest::newRow("the other direction") << "127.0.0.2" << "image.bin" << true << false;
        QTest::newRow("address as IPv4-mapped") << "::ffff:127.0.0.2" << "image.bin" << false << true;
        QTest::newRow("another peer") << "127.0.0.3" << "image.bin" << false << false;
    }
    void ticketMatchesNameDirectionAndPeer()
    {
        QFETCH(QString, peer);
        QFETCH(QString, name);
        QFETCH(bool, writing);
        QFETCH(bool, matches);
        QVERIFY(writeFile(m_root + "/image.bin", pattern(700)));
        const quint64 ticket = m_host->ExpectTransfer(peer, name, writing);
        QCOMPARE(curl("127.0.0.2", m_port, "image.bin", false), 0);
        QTRY_COMPARE(m_host->OpenTransfers(), 0);
        QCOMPARE(m_host->ExpectedTransfer(ticket).has_value(), matches);
    }

    // Tickets for the same transfer take the peer's requests in the order they were given;
    // one forgotten stays among the peer's transfers.
    void ticketsTakeTransfersInTurn()
    {
        QVERIFY(writeFile(m_root + "/image.bin", pattern(700)));
        const quint64 first = m_host->ExpectTransfer("127.0.0.2", "image.bin", false);
        const quint64 second = m_host->ExpectTransfer("127.0.0.2", "image.bin", false);
        QVERIFY(first != second);
        QCOMPARE(curl("127.0.0.2", m_port, "image.bin", false), 0);
        QTRY_VERIFY(ended(first));
        QVERIFY(!m_host->ExpectedTransfer(second));
        QCOMPARE(curl("127.0.0.2", m_port, "image.bin", false), 0);
        QTRY_VERIFY(ended(second));
        QVERIFY(m_host->ExpectedTransfer(first)->Id < m_host->ExpectedTransfer(second)->Id);

        m_host->ForgetExpectedTransfer(first);
        QVERIFY(!m_host->ExpectedTransfer(first));
        QVERIFY(m_host->ExpectedTransfer(second));
        QCOMPARE(m_host->TransfersOf("127.0.0.2").size(), 2);
    }

    void transfersOfListsAPeersTransfersInOrder()
    {
        QVERIFY(writeFile(m_root + "/a.bin", pattern(600, 1)));
        QVERIFY(writeFile(m_dir.path() + "/outside.bin", pattern(10)));
        QCOMPARE(curl("127.0.0.2", m_port, "a.bin", false), 0);
        QCOMPARE(curl("127.0.0.3", m_port, "a.bin", false), 0);
        QCOMPARE(curl("127.0.0.2", m_port, "b.bin", true, pattern(900, 2)), 0);
        // Refused, so never granted: none of the peer's transfers.
        QVERIFY(curl("127.0.0.2", m_port, "../outside.bin", false) != 0);
        ScriptedPeer broken("127.0.0.2");
        QVERIFY(broken.begin(m_port, "a.bin", false));
        broken.abort();
        QTRY_COMPARE(m_host->OpenTransfers(), 0);

        const QList<TTransferRecord> records = m_host->TransfersOf("127.0.0.2");
        QCOMPARE(records.size(), 3);
        const QStringList names{"a.bin", "b.bin", "a.bin"};
        const QList<bool> writes{false, true, false};
        const QList<qint64> bytes{600, 900, 512};
        const QList<TTransferRecord::State> states{TTransferRecord::State::Completed,
                                                   TTransferRecord::State::Completed, TTransferRecord::State::Failed};
        for (int i = 0; i < records.size(); ++i) {
            QCOMPARE(records[i].FileName, m_root + "/" + names[i]);
            QCOMPARE(records[i].Writing, writes[i]);
            QCOMPARE(records[i].Bytes, bytes[i]);
            QCOMPARE(records[i].Status, states[i]);
            QVERIFY(records[i].Received.isEmpty());
            if (i > 0)
                QVERIFY(records[i - 1].Id < records[i].Id);
        }
        QCOMPARE(m_host->TransfersOf("127.0.0.3").size(), 1);
        QVERIFY(m_host->TransfersOf("127.0.0.4").isEmpty());
        QVERIFY(m_host->TransfersOf("no address").isEmpty());
    }

    // The peer withholds one answer: the server's second try is counted.
    void retransmissionsCounted_data()
    {
        QTest::addColumn<bool>("writing");
        QTest::newRow("read") << false;
        QTest::newRow("write") << true;
    }
    void retransmissionsCounted()
    {
        QFETCH(bool, writing);
        QVERIFY(writeFile(m_root + "/image.bin", pattern(1300)));
        const quint64 ticket = m_host->ExpectTransfer("127.0.0.2", "image.bin", writing);
        ScriptedPeer peer("127.0.0.2");
        QVERIFY(peer.request(m_port, "image.bin", writing, pattern(300, 4)));
        // Neither DATA 1 nor ACK 0 is answered: the server sends it again after its time-out.
        QVERIFY(peer.expect(writing ? kACK : kDATA, writing ? 0 : 1, 10000));
        QVERIFY(peer.finish());
        QTRY_VERIFY_WITH_TIMEOUT(ended(ticket), 10000);
        QCOMPARE(m_host->ExpectedTransfer(ticket)->Status, TTransferRecord::State::Completed);
        QCOMPARE(m_host->ExpectedTransfer(ticket)->Retransmissions, 1);
        QCOMPARE(m_host->TransfersOf("127.0.0.2").first().Retransmissions, 1);
    }

    // A flood of transfers: the journal keeps the newest, and a ticket whose record it let
    // go still answers.
    void journalStaysBounded()
    {
        QVERIFY(writeFile(m_root + "/empty.bin", QByteArray()));
        const quint64 ticket = m_host->ExpectTransfer("127.0.0.2", "empty.bin", false);
        const int extra = 5;
        ScriptedPeer peer("127.0.0.2");
        for (int i = 0; i < TTftpHost::kJournalLimit + extra; ++i) {
            QVERIFY2(peer.begin(m_port, "empty.bin", false), qPrintable(QString::number(i)));
            QVERIFY(peer.finish());
        }
        QTRY_COMPARE(m_host->OpenTransfers(), 0);
        const QList<TTransferRecord> records = m_host->TransfersOf("127.0.0.2");
        QCOMPARE(records.size(), TTftpHost::kJournalLimit);
        QCOMPARE(records.first().Id, quint64(extra + 1));
        QCOMPARE(m_host->ExpectedTransfer(ticket)->Id, quint64(1));
        QCOMPARE(m_host->ExpectedTransfer(ticket)->Status, TTransferRecord::State::Completed);
    }

    // An upgrade's thread announces and follows its switch's transfer while the host's thread
    // serves it and a stranger; no sight of the record goes back.
    void followedFromAnotherThread()
    {
        const QByteArray image = pattern(3000000, 5);
        QVERIFY(writeFile(m_root + "/big.bin", image));
        std::atomic<quint64> ticket{0};
        std::atomic<bool> stop{false};
        bool steady = true;
        std::optional<TTransferRecord> last;
        const std::unique_ptr<QThread> follower(QThread::create([&] {
            ticket = m_host->ExpectTransfer("127.0.0.2", "big.bin", false);
            qint64 bytes = 0;
            while (!stop && !(last && last->ended())) {
                const std::optional<TTransferRecord> record = m_host->ExpectedTransfer(ticket);
                m_host->TransfersOf("127.0.0.3");
                if (record) {
                    steady = steady && record->Bytes >= bytes;
                    bytes = record->Bytes;
                    last = record;
                }
                QThread::usleep(200);
            }
            m_host->ForgetExpectedTransfer(ticket);
        }));
        follower->start();
        const auto joined = qScopeGuard([&] {
            stop = true;
            follower->wait();
        });
        QTRY_VERIFY(ticket != 0);

        QProcess stranger;
        stranger.start("curl", {"-q", "-s", "--interface", "127.0.0.3", "-o", "/dev/null",
                                QString("tftp://127.0.0.1:%1/big.bin").arg(m_port)});
        QByteArray received;
        QCOMPARE(curl("127.0.0.2", m_port, "big.bin", false, {}, &received), 0);
        QCOMPARE(received, image);
        QTRY_VERIFY_WITH_TIMEOUT(stranger.state() == QProcess::NotRunning, 30000);
        QCOMPARE(stranger.exitCode(), 0);
        // The host reports the transfer's end on this thread: keep dispatching meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(follower->isFinished(), 30000);
        QVERIFY(steady);
        QVERIFY(last);
        QCOMPARE(last->Status, TTransferRecord::State::Completed);
        QCOMPARE(last->Bytes, qint64(image.size()));
        QVERIFY(!m_host->ExpectedTransfer(ticket));
        QCOMPARE(m_host->TransfersOf("127.0.0.3").size(), 1);
    }

private:
    bool ended(quint64 ticket) const
    {
        const std::optional<TTransferRecord> record = m_host->ExpectedTransfer(ticket);
        return record && record->ended();
    }
};

QTEST_MAIN(TestTftpHostCore)
#include "tst_tftphostcore.moc"
