#include "TestData.h"
#include "TestFiles.h"
#include "TftpTestPeer.h"

#include "platform/Clock.h"
#include "tftp/TrivialFTPServer.h"

#include <QBuffer>
#include <QNetworkProxy>
#include <QPointer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

const QByteArray kRrq("\0\1", 2);

// Accepts a set number of bytes, then fails every write, like a full disk.
class FailingDevice final : public QBuffer
{
public:
    explicit FailingDevice(qint64 capacity) : m_capacity(capacity) { open(QIODevice::WriteOnly); }

protected:
    qint64 writeData(const char *data, qint64 length) override
    {
        if (pos() + length > m_capacity)
            return -1;
        return QBuffer::writeData(data, length);
    }

private:
    qint64 m_capacity;
};

// The scripted client of the randomised transfers: a lock-step TFTP client for "lossy.bin"
// whose own packets and the server's are dropped, repeated and held back at random, and
// beside it a stranger that sends junk to the transfer's port.
class LossyLine
{
public:
    LossyLine(TftpTestPeer &peer, TftpTestPeer &stranger, QRandomGenerator &random, int percentDropped)
        : m_peer(peer), m_stranger(stranger), m_random(random), m_percentDropped(percentDropped) {}

    // The file's bytes once the client holds its last block, nothing when it gave up.
    std::optional<QByteArray> read(quint16 serverPort)
    {
        m_peer.sendRequest(1, "lossy.bin", "octet", serverPort);
        QByteArray bytes;
        quint16 expected = 1;
        while (auto packet = receive()) {
            if (packet->opcode != 3)
                return std::nullopt;
            m_port = packet->fromPort;
            if (packet->number == expected) {
                bytes += packet->body;
                ++expected;
                if (packet->body.size() < 512) {
                    send(TftpTestPeer::ack(packet->number));
                    return bytes;
                }
            }
            // A repeated DATA is acknowledged again, as common clients do.
            if (quint16(packet->number + 1) == expected)
                send(TftpTestPeer::ack(packet->number));
        }
        return std::nullopt;
    }

    // Whether the server acknowledged the last block.
    bool write(const QByteArray &content, quint16 serverPort)
    {
        m_peer.sendRequest(2, "lossy.bin", "octet", serverPort);
        quint16 block = 0;
        while (auto packet = receive()) {
            if (packet->opcode != 4)
                return false;
            m_port = packet->fromPort;
            if (packet->number != block)
                continue;
            if (block > 0 && content.mid((block - 1) * 512, 512).size() < 512)
                return true;
            ++block;
            send(TftpTestPeer::data(block, content.mid((block - 1) * 512, 512)));
        }
        return false;
    }

private:
    static constexpr int kPercentRepeated = 10;
    static constexpr int kPercentHeldBack = 10;
    static constexpr int kPercentStranger = 20;
    static constexpr int kClientTimeoutMs = 120;
    static constexpr int kClientRetries = 12;

    // The server's next packet that gets through; on silence the client sends its last
    // packet again, and gives up after a while.
    std::optional<TftpTestPeer::Packet> receive()
    {
        for (int silences = 0; silences < kClientRetries;) {
            const auto packet = m_peer.receive(kClientTimeoutMs);
            if (!packet) {
                ++silences;
                flushHeld();
                if (!m_last.isEmpty())
                    send(m_last);
                continue;
            }
            if (packet->opcode == 5 || roll() >= m_percentDropped)
                return packet;
        }
        return std::nullopt;
    }

    void send(const QByteArray &datagram)
    {
        m_last = datagram;
        if (roll() < kPercentStranger)
            m_stranger.send(junk(), m_port);
        const int fate = roll();
        if (fate < m_percentDropped)
            return;
        if (fate < m_percentDropped + kPercentHeldBack && m_held.isEmpty()) {
            m_held = datagram;
            return;
        }
        m_peer.send(datagram, m_port);
        if (fate < m_percentDropped + kPercentHeldBack + kPercentRepeated)
            m_peer.send(datagram, m_port);
        flushHeld();
    }

    // A packet held back arrives after the one sent next: out of order.
    void flushHeld()
    {
        if (!m_held.isEmpty())
            m_peer.send(std::exchange(m_held, {}), m_port);
    }

    QByteArray junk()
    {
        switch (m_random.bounded(4)) {
        case 0:
            return pattern(600 + int(m_random.bounded(2000)));
        case 1:
            return QByteArray("\0\5\0\0go away\0", 12);
        case 2:
            return TftpTestPeer::ack(quint16(m_random.bounded(64)));
        default:
            return TftpTestPeer::data(quint16(m_random.bounded(64)), pattern(int(m_random.bounded(513))));
        }
    }

    int roll() { return int(m_random.bounded(100)); }

    TftpTestPeer &m_peer;
    TftpTestPeer &m_stranger;
    QRandomGenerator &m_random;
    const int m_percentDropped;
    quint16 m_port = 0;
    QByteArray m_last;
    QByteArray m_held;
};

struct Report
{
    bool success;
    int peerPort;
    bool writeOperation;
    int retransmissions;
};

} // namespace

// The engine in this process, on a loopback port the system chooses, against the scripted
// test peer. The clock runs at a fifth, so a transfer's 1500 ms wait lasts 300 ms.
class TestTftpServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    std::unique_ptr<TTrivialFTPServer> m_server;
    quint16 m_port = 0;
    QList<Report> m_reports;
    // Handed out by the next request instead of a file, freed by the server.
    QIODevice *m_nextStream = nullptr;

    QString path(const QString &name) const { return m_root.filePath(name); }

    void writeRootFile(const QString &name, const QByteArray &bytes) { QVERIFY(writeFile(path(name), bytes)); }
    QByteArray rootFileBytes(const QString &name) { return readFile(path(name)); }

    void grantInsideRoot(QString &fileName, QIODevice *&stream)
    {
        fileName = path(fileName);
        stream = std::exchange(m_nextStream, nullptr);
    }

    // Expects the next packet to be opcode/number from a transfer port; returns it.
    TftpTestPeer::Packet expect(TftpTestPeer &peer, quint16 opcode, quint16 number, int timeoutMs = 5000)
    {
        const auto packet = peer.receive(timeoutMs);
        if (!packet) {
            QTest::qFail("no packet arrived", __FILE__, __LINE__);
            return {};
        }
        if (packet->opcode != opcode || packet->number != number) {
            QTest::qFail(qPrintable(QStringLiteral("expected %1/%2, got %3/%4 \"%5\"")
                                        .arg(opcode)
                                        .arg(number)
                                        .arg(packet->opcode)
                                        .arg(packet->number)
                                        .arg(QString::fromLatin1(packet->body.left(80)))),
                         __FILE__, __LINE__);
        }
        if (packet->fromPort == m_port)
            QTest::qFail("a transfer packet came from the listening port", __FILE__, __LINE__);
        return *packet;
    }

    // Reads name to its end in lock-step and returns the bytes and the DATA sizes.
    QByteArray readWhole(TftpTestPeer &peer, const QByteArray &name, QList<int> *sizes = nullptr)
    {
        peer.sendRequest(1, name, "octet", m_port);
        QByteArray bytes;
        for (quint16 block = 1;; ++block) {
            const TftpTestPeer::Packet packet = expect(peer, 3, block);
            if (packet.opcode != 3)
                return bytes;
            bytes += packet.body;
            if (sizes)
                sizes->append(int(packet.body.size()));
            peer.sendAck(block, packet.fromPort);
            if (packet.body.size() < 512)
                return bytes;
        }
    }

    void waitForReports(int count)
    {
        QTRY_COMPARE_WITH_TIMEOUT(m_reports.size(), count, 5000);
    }

    // Every fault above leaves the listener serving the next request.
    void verifyStillServes()
    {
        writeRootFile(QStringLiteral("probe.txt"), "probe");
        const int before = int(m_reports.size());
        TftpTestPeer peer;
        QCOMPARE(readWhole(peer, "probe.txt"), QByteArray("probe"));
        waitForReports(before + 1);
        QVERIFY(m_reports.last().success);
    }

private slots:
    void initTestCase() { Platform::setTimeScale(0.2); }
    void cleanupTestCase() { Platform::setTimeScale(1.0); }

    void init()
    {
        m_server = std::make_unique<TTrivialFTPServer>();
        m_server->AddBinding(QStringLiteral("127.0.0.1"), 0);
        m_server->OnReadFile = [this](TTrivialFTPServer *, QString &fileName, const TPeerInfo &, bool &,
                                      QIODevice *&stream, bool &) { grantInsideRoot(fileName, stream); };
        m_server->OnWriteFile = m_server->OnReadFile;
        m_server->OnTransferComplete = [this](TTrivialFTPServer *sender, bool success, const TPeerInfo &peer,
                                              QIODevice *stream, bool writeOperation) {
            QVERIFY2(!stream, "the server frees streams it was told to free");
            QCOMPARE(peer.PeerIP, QStringLiteral("127.0.0.1"));
            m_reports.append({success, peer.PeerPort, writeOperation, sender->CompletingRetransmissions()});
        };
        m_server->SetActive(true);
        m_port = quint16(m_server->Bindings().front()->Port);
        QVERIFY(m_port != 0);
    }

    void cleanup()
    {
        m_server.reset();
        m_reports.clear();
        delete std::exchange(m_nextStream, nullptr);
    }

    void firstAnswer_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expected");
        auto z = [](const char *text) { return QByteArray(text) + '\0'; };
        const QByteArray wrq("\0\2", 2);
        const QByteArray file = pattern(2000);
        const QByteArray data1 = TftpTestPeer::data(1, file.left(512));

        QTest::newRow("octet in capitals") << kRrq + z("f.bin") + z("OCTET") << data1;
        QTest::newRow("netascii in mixed case, carried unchanged") << kRrq + z("f.bin") + z("NetAscii") << data1;
        QTest::newRow("short file") << kRrq + z("short.bin") + z("octet") << TftpTestPeer::data(1, pattern(100));
        QTest::newRow("blksize 1024") << kRrq + z("f.bin") + z("octet") + z("blksize") + z("1024")
                                      << QByteArray("\0\6blksize\0" "1024\0", 15);
        QTest::newRow("blksize 8 keeps 512 without OACK") << kRrq + z("f.bin") + z("octet") + z("blksize") + z("8")
                                                          << data1;
        QTest::newRow("blksize 0") << kRrq + z("f.bin") + z("octet") + z("blksize") + z("0") << data1;
        QTest::newRow("blksize above 65464") << kRrq + z("f.bin") + z("octet") + z("blksize") + z("70000")
                                             << QByteArray("\0\6blksize\0" "65464\0", 16);
        QTest::newRow("blksize after tsize") << kRrq + z("f.bin") + z("octet") + z("tsize") + z("0") + z("blksize")
                                                    + z("1468")
                                             << QByteArray("\0\6blksize\0" "1468\0", 15);
        QTest::newRow("write, netascii") << wrq + z("new.txt") + z("netascii") << QByteArray("\0\4\0\0", 4);
        QTest::newRow("write, blksize 1024") << wrq + z("new.txt") + z("octet") + z("blksize") + z("1024")
                                             << QByteArray("\0\6blksize\0" "1024\0", 15);
    }
    void firstAnswer()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expected);
        writeRootFile(QStringLiteral("f.bin"), pattern(2000));
        writeRootFile(QStringLiteral("short.bin"), pattern(100));
        TftpTestPeer peer;
        peer.send(request, m_port);
        const auto packet = peer.receive();
        QVERIFY(packet);
        QCOMPARE(packet->raw, expected);
        QVERIFY(packet->fromPort != m_port);
    }

    void reads_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<QList<int>>("dataSizes");
        QTest::newRow("empty file") << 0 << 0 << QList<int>{0};
        QTest::newRow("511 bytes") << 511 << 0 << QList<int>{511};
        QTest::newRow("512 bytes end with an empty DATA") << 512 << 0 << QList<int>{512, 0};
        QTest::newRow("1024 bytes") << 1024 << 0 << QList<int>{512, 512, 0};
        QTest::newRow("1500 bytes in 1024") << 1500 << 1024 << QList<int>{1024, 476};
        QTest::newRow("2048 bytes in 1024") << 2048 << 1024 << QList<int>{1024, 1024, 0};
    }
    void reads()
    {
        QFETCH(int, size);
        QFETCH(int, blockSize);
        QFETCH(QList<int>, dataSizes);
        const QByteArray content = pattern(size, size);
        writeRootFile(QStringLiteral("r.bin"), content);

        TftpTestPeer peer;
        QList<QByteArray> options;
        if (blockSize)
            options = {"blksize", QByteArray::number(blockSize)};
        peer.sendRequest(1, "r.bin", "octet", m_port, options);
        quint16 transferPort = 0;
        if (blockSize) {
            transferPort = expect(peer, 6, 0).fromPort;
            peer.sendAck(0, transferPort);
        }
        QByteArray received;
        QList<int> sizes;
        for (quint16 block = 1; sizes.size() < dataSizes.size(); ++block) {
            const TftpTestPeer::Packet packet = expect(peer, 3, block);
            QVERIFY(!QTest::currentTestFailed());
            QVERIFY(transferPort == 0 || packet.fromPort == transferPort);
            transferPort = packet.fromPort;
            received += packet.body;
            sizes << int(packet.body.size());
            peer.sendAck(block, transferPort);
        }
        QCOMPARE(sizes, dataSizes);
        QCOMPARE(received, content);
        waitForReports(1);
        QVERIFY(m_reports[0].success);
        QVERIFY(!m_reports[0].writeOperation);
        QCOMPARE(m_reports[0].peerPort, int(peer.port()));
        QVERIFY2(!peer.receive(400), "nothing follows the last ACK");
    }

    void writes_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("repeatedBlock");
        QTest::newRow("empty") << 0 << 0 << 0;
        QTest::newRow("512 bytes") << 512 << 0 << 0;
        QTest::newRow("DATA 2 arrives twice") << 1300 << 0 << 2;
        QTest::newRow("last DATA arrives twice") << 1300 << 0 << 3;
        QTest::newRow("blksize 1024") << 2100 << 1024 << 0;
    }
    void writes()
    {
        QFETCH(int, size);
        QFETCH(int, blockSize);
        QFETCH(int, repeatedBlock);
        // Line ends of every kind: netascii requests are stored as they arrive.
        QByteArray content = pattern(size, 7);
        content.replace(0, qMin(size, 6), QByteArray("a\r\nb\r\0", 6).left(qMin(size, 6)));

        TftpTestPeer peer;
        QList<QByteArray> options;
        if (blockSize)
            options = {"blksize", QByteArray::number(blockSize)};
        peer.sendRequest(2, "w.txt", "netascii", m_port, options);
        const quint16 transferPort = expect(peer, blockSize ? 6 : 4, 0).fromPort;
        const int block = blockSize ? blockSize : 512;
        for (quint16 number = 1;; ++number) {
            const QByteArray chunk = content.mid((number - 1) * block, block);
            peer.sendData(number, chunk, transferPort);
            expect(peer, 4, number);
            if (number == repeatedBlock) {
                peer.sendData(number, chunk, transferPort);
                expect(peer, 4, number);
            }
            QVERIFY(!QTest::currentTestFailed());
            if (chunk.size() < block)
                break;
        }
        QCOMPARE(rootFileBytes(QStringLiteral("w.txt")), content);
        waitForReports(1);
        QVERIFY(m_reports[0].success);
        QVERIFY(m_reports[0].writeOperation);
    }

    void lostFinalDataIsSentAgain()
    {
        const QByteArray content = pattern(700);
        writeRootFile(QStringLiteral("image.ros"), content);
        TftpTestPeer peer;
        TftpTestPeer stranger;
        peer.sendRequest(1, "image.ros", "octet", m_port);
        const quint16 transferPort = expect(peer, 3, 1).fromPort;
        peer.sendAck(1, transferPort);
        QCOMPARE(expect(peer, 3, 2).body, content.mid(512));

        // The last DATA is "lost": silence, an ACK from someone else, a stale ACK; each is
        // answered by the time-out's resend, not at once.
        stranger.sendAck(2, transferPort);
        QCOMPARE(expect(peer, 3, 2).body, content.mid(512));
        peer.sendAck(1, transferPort);
        QCOMPARE(expect(peer, 3, 2).body, content.mid(512));
        QVERIFY2(m_reports.isEmpty(), "not done before the client holds the last block");

        peer.sendAck(2, transferPort);
        waitForReports(1);
        QVERIFY(m_reports[0].success);
        QVERIFY(!stranger.receive(0));
        verifyStillServes();
    }

    void silentClientTimesOut_data()
    {
        QTest::addColumn<int>("opcode");
        QTest::addColumn<int>("size");
        QTest::newRow("read, DATA 1 is not the last") << 1 << 2000;
        QTest::newRow("read, DATA 1 is the last") << 1 << 100;
        QTest::newRow("write") << 2 << 0;
    }
    void silentClientTimesOut()
    {
        QFETCH(int, opcode);
        QFETCH(int, size);
        writeRootFile(QStringLiteral("s.bin"), pattern(size));
        TftpTestPeer peer;
        peer.sendRequest(quint16(opcode), "s.bin", "octet", m_port);
        const quint16 answer = opcode == 1 ? 3 : 4;
        const quint16 number = opcode == 1 ? 1 : 0;
        const quint16 transferPort = expect(peer, answer, number).fromPort;
        expect(peer, answer, number);
        expect(peer, answer, number);
        const TftpTestPeer::Packet error = expect(peer, 5, 4);
        QCOMPARE(error.body, QByteArray("Timeout"));
        QCOMPARE(error.fromPort, transferPort);
        waitForReports(1);
        QVERIFY(!m_reports[0].success);
        QCOMPARE(m_reports[0].writeOperation, opcode == 2);
        verifyStillServes();
    }

    // A client that is gone leaves a closed port behind, and the system answers each resend
    // to it with "port unreachable". That is silence like any other: the transfer resends
    // until its tries are used up, as it does for a client that keeps its port and says
    // nothing.
    void vanishedClientTimesOut_data()
    {
        QTest::addColumn<int>("opcode");
        QTest::newRow("read") << 1;
        QTest::newRow("write") << 2;
    }
    void vanishedClientTimesOut()
    {
        QFETCH(int, opcode);
        writeRootFile(QStringLiteral("v.bin"), pattern(2000));
        auto peer = std::make_unique<TftpTestPeer>();
        peer->sendRequest(quint16(opcode), "v.bin", "octet", m_port);
        expect(*peer, opcode == 1 ? 3 : 4, opcode == 1 ? 1 : 0);
        peer.reset();
        waitForReports(1);
        QVERIFY(!m_reports[0].success);
        QCOMPARE(m_reports[0].retransmissions, 2);
        verifyStillServes();
    }

    void transferErrors_data()
    {
        QTest::addColumn<int>("opcode");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QString unexpected = QStringLiteral("Unexpected operation from 127.0.0.1:%1");
        QTest::newRow("DATA during a read") << 1 << TftpTestPeer::data(1, "x") << 4 << unexpected;
        QTest::newRow("ACK during a write") << 2 << TftpTestPeer::ack(0) << 4 << unexpected;
        QTest::newRow("unknown opcode") << 1 << QByteArray("\0\x09\0\1", 4) << 4 << unexpected;
        QTest::newRow("peer's ERROR") << 1 << QByteArray("\0\5\0\0stop\0", 9) << 0 << "Operation aborted";
        QTest::newRow("one byte") << 1 << QByteArray("\4", 1) << 0 << "Stream read error";
        QTest::newRow("ACK without block number") << 1 << QByteArray("\0\4\0", 3) << 0 << "Stream read error";
        QTest::newRow("DATA larger than the block") << 2 << TftpTestPeer::data(1, pattern(513)) << 0
                                                    << "Socket Error # 10040\r\nMessage too long";
    }
    void transferErrors()
    {
        QFETCH(int, opcode);
        QFETCH(QByteArray, datagram);
        QFETCH(int, code);
        QFETCH(QString, message);
        writeRootFile(QStringLiteral("e.bin"), pattern(2000));
        TftpTestPeer peer;
        peer.sendRequest(quint16(opcode), "e.bin", "octet", m_port);
        const quint16 transferPort = expect(peer, opcode == 1 ? 3 : 4, opcode == 1 ? 1 : 0).fromPort;
        peer.send(datagram, transferPort);
        const TftpTestPeer::Packet error = expect(peer, 5, quint16(code));
        QCOMPARE(QString::fromLatin1(error.body), message.contains(QLatin1String("%1")) ? message.arg(peer.port()) : message);
        QCOMPARE(error.fromPort, transferPort);
        waitForReports(1);
        QVERIFY(!m_reports[0].success);
        verifyStillServes();
    }

    void failedWriteReportsWhereItStopped()
    {
        auto *device = new FailingDevice(700);
        const QPointer<QIODevice> watch(device);
        m_nextStream = device;
        TftpTestPeer peer;
        peer.sendRequest(2, "full.bin", "octet", m_port);
        const quint16 transferPort = expect(peer, 4, 0).fromPort;
        peer.sendData(1, pattern(512), transferPort);
        expect(peer, 4, 1);
        peer.sendData(2, pattern(512), transferPort);
        const TftpTestPeer::Packet error = expect(peer, 5, 3);
        QCOMPARE(error.body, QByteArray("Unable to complete write request, progress halted at 512 bytes"));
        waitForReports(1);
        QVERIFY(!m_reports[0].success);
        QVERIFY2(watch.isNull(), "the server freed the stream it was given");
    }

    void transfersRunSideBySide()
    {
        writeRootFile(QStringLiteral("a.bin"), pattern(1500, 1));
        TftpTestPeer first;
        TftpTestPeer second;
        first.sendRequest(1, "a.bin", "octet", m_port);
        second.sendRequest(1, "a.bin", "octet", m_port);
        const quint16 firstPort = expect(first, 3, 1).fromPort;
        const quint16 secondPort = expect(second, 3, 1).fromPort;
        QVERIFY(firstPort != secondPort);
        for (quint16 block = 1; block <= 3; ++block) {
            second.sendAck(block, secondPort);
            first.sendAck(block, firstPort);
            if (block < 3) {
                expect(second, 3, block + 1);
                expect(first, 3, block + 1);
            }
        }
        waitForReports(2);
        QVERIFY(m_reports[0].success && m_reports[1].success);
    }

    void deactivationLeavesTransfersRunning()
    {
        writeRootFile(QStringLiteral("d.bin"), pattern(700));
        TftpTestPeer peer;
        peer.sendRequest(1, "d.bin", "octet", m_port);
        const quint16 transferPort = expect(peer, 3, 1).fromPort;
        m_server->SetActive(false);
        QVERIFY(!m_server->Active());
        peer.sendAck(1, transferPort);
        expect(peer, 3, 2);
        peer.sendAck(2, transferPort);
        waitForReports(1);
        QVERIFY(m_reports[0].success);

        TftpTestPeer late;
        late.sendRequest(1, "d.bin", "octet", m_port);
        QVERIFY2(!late.receive(300), "nobody listens any more");
        m_server->SetActive(true);
        QCOMPARE(m_server->Bindings().front()->Port, int(m_port));
        verifyStillServes();
    }

    void destroyingServerEndsRunningTransfers()
    {
        writeRootFile(QStringLiteral("long.bin"), pattern(5000));
        auto *supplied = new QBuffer;
        supplied->open(QIODevice::WriteOnly);
        const QPointer<QIODevice> watch(supplied);

        TftpTestPeer reader;
        reader.sendRequest(1, "long.bin", "octet", m_port);
        expect(reader, 3, 1);

        TftpTestPeer writer;
        m_nextStream = supplied;
        writer.sendRequest(2, "w.bin", "octet", m_port);
        const quint16 writePort = expect(writer, 4, 0).fromPort;
        writer.sendData(1, pattern(512), writePort);
        expect(writer, 4, 1);

        // This write has its last block stored and only waits for a repeated one.
        TftpTestPeer finished;
        finished.sendRequest(2, "done.bin", "octet", m_port);
        const quint16 finishedPort = expect(finished, 4, 0).fromPort;
        finished.sendData(1, "all of it", finishedPort);
        expect(finished, 4, 1);

        m_server.reset();

        QCOMPARE(m_reports.size(), 3);
        for (const Report &report : std::as_const(m_reports)) {
            const bool lastBlockStored = report.peerPort == finished.port();
            QCOMPARE(report.success, lastBlockStored);
        }
        QVERIFY2(watch.isNull(), "the supplied stream was freed");
        QCOMPARE(reader.receive()->raw, QByteArray("\0\5\0\0Operation aborted\0", 22));
        QCOMPARE(writer.receive()->raw, QByteArray("\0\5\0\0Operation aborted\0", 22));
        QVERIFY(!finished.receive(0));
        QCOMPARE(rootFileBytes(QStringLiteral("done.bin")), QByteArray("all of it"));
    }

    void strangersCannotDisturbATransfer_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::newRow("datagram larger than the block") << pattern(600);
        QTest::newRow("ERROR") << QByteArray("\0\5\0\0stop\0", 9);
        QTest::newRow("ACK for the block in flight") << TftpTestPeer::ack(1);
        QTest::newRow("DATA") << TftpTestPeer::data(1, "x");
        QTest::newRow("one byte") << QByteArray("\4", 1);
    }

    void strangersCannotDisturbATransfer()
    {
        QFETCH(QByteArray, datagram);
        const QByteArray content = pattern(700);
        writeRootFile(QStringLiteral("image.ros"), content);
        TftpTestPeer peer;
        TftpTestPeer stranger;
        peer.sendRequest(1, "image.ros", "octet", m_port);
        const quint16 transferPort = expect(peer, 3, 1).fromPort;
        stranger.send(datagram, transferPort);
        stranger.send(datagram, transferPort);
        peer.sendAck(1, transferPort);
        QCOMPARE(expect(peer, 3, 2).body, content.mid(512));
        peer.sendAck(2, transferPort);
        waitForReports(1);
        QVERIFY(m_reports[0].success);
        QVERIFY2(!stranger.receive(0), "a stranger gets no answer");
        QVERIFY2(!peer.receive(400), "the stranger drew nothing towards the peer");
    }

    // A client that acknowledges every DATA twice, repeats included, must still get each
    // block once: a resend on the stale ACK would double the traffic at every block.
    void repeatedAcksDrawNoResend()
    {
        const int blocks = 21;
        const QByteArray content = pattern(20 * 512 + 100);
        writeRootFile(QStringLiteral("twice.bin"), content);
        TftpTestPeer peer;
        peer.sendRequest(1, "twice.bin", "octet", m_port);
        QByteArray received;
        int dataPackets = 0;
        quint16 expected = 1;
        while (expected <= blocks && dataPackets < 10 * blocks) {
            const auto packet = peer.receive();
            QVERIFY(packet);
            QCOMPARE(packet->opcode, quint16(3));
            ++dataPackets;
            if (packet->number == expected) {
                received += packet->body;
                ++expected;
            }
            peer.sendAck(packet->number, packet->fromPort);
            peer.sendAck(packet->number, packet->fromPort);
        }
        QCOMPARE(received, content);
        waitForReports(1);
        QVERIFY(m_reports[0].success);
        QCOMPARE(dataPackets, blocks);
        QVERIFY2(!peer.receive(400), "nothing follows the last ACK");
    }

    void openTransfersAreCapped()
    {
        // Real time-outs, so that no transfer ends by itself while the test fills the cap.
        Platform::setTimeScale(1.0);
        const auto restoreScale = qScopeGuard([] { Platform::setTimeScale(0.2); });
        writeRootFile(QStringLiteral("small.bin"), pattern(100));
        TftpTestPeer peer;
        for (int i = 0; i < TTrivialFTPServer::kMaxOpenTransfers; ++i)
            peer.sendRequest(1, "small.bin", "octet", m_port);
        QSet<quint16> transferPorts;
        while (transferPorts.size() < TTrivialFTPServer::kMaxOpenTransfers) {
            const auto packet = peer.receive();
            QVERIFY(packet);
            QCOMPARE(packet->opcode, quint16(3));
            transferPorts.insert(packet->fromPort);
        }

        peer.sendRequest(1, "small.bin", "octet", m_port);
        std::optional<TftpTestPeer::Packet> refusal;
        do {
            refusal = peer.receive();
            QVERIFY(refusal);
        } while (refusal->opcode == 3);
        QCOMPARE(refusal->number, quint16(0));
        QCOMPARE(refusal->body, QByteArray("Too many transfers at once, try again later"));
        QCOMPARE(refusal->fromPort, m_port);

        // One ends, and the next request is served.
        peer.sendAck(1, *transferPorts.cbegin());
        waitForReports(1);
        TftpTestPeer next;
        next.sendRequest(1, "small.bin", "octet", m_port);
        expect(next, 3, 1);
    }

    // A scripted client over a lossy line: its packets and the server's are dropped,
    // repeated and reordered at random, and a stranger keeps sending to the transfer's port.
    // Whatever the outcome, a transfer the server reports completed has moved every byte,
    // and one the client did not finish is reported failed.
    void randomisedTransfers_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<quint32>("sequence");
        QTest::addColumn<int>("percentDropped");
        // A line that loses half its packets ends some transfers by the server's time-out.
        for (const int dropped : {10, 50}) {
            for (quint32 sequence = 1; sequence <= 5; ++sequence) {
                QTest::addRow("read, %d%% lost, sequence %u", dropped, sequence) << false << sequence << dropped;
                QTest::addRow("write, %d%% lost, sequence %u", dropped, sequence) << true << sequence << dropped;
            }
        }
    }
    void randomisedTransfers()
    {
        QFETCH(bool, write);
        QFETCH(quint32, sequence);
        QFETCH(int, percentDropped);
        QRandomGenerator random(sequence);
        // Whole blocks now and then, so that some transfers end with an empty DATA.
        const int size = int(random.bounded(4) == 0 ? 512 * random.bounded(1, 12) : random.bounded(12 * 512));
        const QByteArray content = pattern(size, int(sequence));
        const QByteArray earlier("earlier content");
        writeRootFile(QStringLiteral("lossy.bin"), write ? earlier : content);

        TftpTestPeer peer;
        TftpTestPeer stranger;
        LossyLine line(peer, stranger, random, percentDropped);
        if (write) {
            const bool acknowledged = line.write(content, m_port);
            waitForReports(1);
            QVERIFY(m_reports[0].writeOperation);
            if (acknowledged)
                QVERIFY2(m_reports[0].success, "the client saw its last block acknowledged");
            if (m_reports[0].success)
                QCOMPARE(rootFileBytes(QStringLiteral("lossy.bin")), content);
        } else {
            const std::optional<QByteArray> received = line.read(m_port);
            waitForReports(1);
            QVERIFY(!m_reports[0].writeOperation);
            if (received)
                QCOMPARE(*received, content);
            if (m_reports[0].success)
                QVERIFY2(received, "a read reported completed reached the client's end");
        }
        QVERIFY2(!stranger.receive(0), "a stranger gets no answer");
        QTest::qWait(100);
        QCOMPARE(m_reports.size(), 1);
    }

    void bindingFailsOnAHeldPort_data()
    {
        QTest::addColumn<int>("holderMode");
        QTest::addColumn<QString>("address");
        QTest::newRow("held exclusively, same address") << int(QUdpSocket::DontShareAddress) << "127.0.0.1";
        QTest::newRow("held exclusively, every address") << int(QUdpSocket::DontShareAddress) << "";
        QTest::newRow("holder allows sharing") << int(QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)
                                               << "127.0.0.1";
    }
    void bindingFailsOnAHeldPort()
    {
        QFETCH(int, holderMode);
        QFETCH(QString, address);
        QUdpSocket holder;
        holder.setProxy(QNetworkProxy::NoProxy);
        QVERIFY(holder.bind(QHostAddress::LocalHost, 0, QUdpSocket::BindMode(holderMode)));
        TTrivialFTPServer second;
        second.SetDefaultPort(holder.localPort());
        if (!address.isEmpty())
            second.AddBinding(address, holder.localPort());
        try {
            second.SetActive(true);
            QFAIL("activation succeeded on a held port");
        } catch (const ECouldNotBindSocket &e) {
            QCOMPARE(e.message(), QStringLiteral("Could not bind socket. Address and port are already in use."));
        }
        QVERIFY(!second.Active());
        holder.close();
        second.SetActive(true);
        QVERIFY(second.Active());
    }

    void defaultPortIs69()
    {
        TTrivialFTPServer server;
        QCOMPARE(server.DefaultPort(), 69);
        QVERIFY(!server.Active());
    }
};

QTEST_MAIN(TestTftpServer)
#include "tst_tftpserver.moc"
