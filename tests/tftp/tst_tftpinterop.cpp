#include "TestData.h"
#include "TestFiles.h"
#include "TftpdProcess.h"

#include "tftp/LogLines.h"

#include <QtTest>

#include <memory>

namespace {

// Lines of text without carriage returns: a netascii client that converts line ends on its
// side then stores exactly these bytes.
QByteArray text(int size)
{
    QByteArray bytes;
    for (int line = 0; bytes.size() < size; ++line)
        bytes += "line " + QByteArray::number(line) + " of the configuration\n";
    bytes.truncate(size);
    return bytes;
}

struct Client
{
    QString program;
    QStringList arguments;
};

} // namespace

// Real TFTP clients (curl, tftp-hpa's tftp, atftp) against tessaro-tftpd on loopback; every
// file is compared byte for byte and every transfer must log its completion.
class TestTftpInterop : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QTemporaryDir m_local;
    TftpdProcess m_tftpd;

    QString port() const { return QString::number(m_tftpd.port()); }
    QString url(const QString &name) const { return QStringLiteral("tftp://127.0.0.1:%1/%2").arg(port(), name); }

    // The command line of client for a read (or write) of the served name, with the local copy
    // at local; blockSize 0 asks for none.
    Client command(const QString &client, bool write, const QString &name, const QString &local, const QString &mode,
                   int blockSize) const
    {
        const QString size = QString::number(blockSize);
        if (client == QLatin1String("curl")) {
            QStringList arguments{QStringLiteral("-sS"), QStringLiteral("--max-time"), QStringLiteral("60")};
            if (blockSize)
                arguments << QStringLiteral("--tftp-blksize") << size;
            const QString target = url(name) + (mode == QLatin1String("netascii") ? QStringLiteral(";mode=netascii") : QString());
            if (write)
                arguments << QStringLiteral("-T") << local << target;
            else
                arguments << target << QStringLiteral("-o") << local;
            return {QStringLiteral("curl"), arguments};
        }
        if (client == QLatin1String("tftp")) {
            return {QStringLiteral("tftp"),
                    {QStringLiteral("-m"), mode, QStringLiteral("127.0.0.1"), port(), QStringLiteral("-c"),
                     write ? QStringLiteral("put") : QStringLiteral("get"), write ? local : name, write ? name : local}};
        }
        QStringList arguments;
        if (blockSize)
            arguments << QStringLiteral("--option") << QStringLiteral("blksize ") + size;
        arguments << (write ? QStringLiteral("-p") : QStringLiteral("-g")) << QStringLiteral("-r") << name
                  << QStringLiteral("-l") << local << QStringLiteral("127.0.0.1") << port();
        return {QStringLiteral("atftp"), arguments};
    }

    std::unique_ptr<QProcess> launch(const Client &client)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(client.program, client.arguments);
        return process;
    }

    void finish(QProcess &process)
    {
        // Dispatching keeps tessaro-tftpd's output drained while the client runs.
        const QDeadlineTimer deadline(120000);
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            process.waitForFinished(20);
            QCoreApplication::processEvents();
        }
        QVERIFY2(process.state() == QProcess::NotRunning, qPrintable(process.program()));
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                 qPrintable(process.program() + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAll())));
    }

    void verifyCompletionLine(const QString &path, bool write, qint64 size)
    {
        const QString requester = m_tftpd.waitForRequester(path, write);
        QVERIFY2(!requester.isEmpty(), qPrintable(m_tftpd.lines().join(QLatin1Char('\n'))));
        // A write ends on the server once it has waited for a repeated last DATA.
        const QString line = requester + QStringLiteral(" - ") + transferLogText(true, size);
        QVERIFY2(m_tftpd.waitForLine(line), qPrintable(line + QStringLiteral(" missing")));
    }


private slots:
    void initTestCase()
    {
        for (const char *program : {"curl", "tftp", "atftp"}) {
            if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/setup installs it)").arg(QLatin1String(program))));
        }
        QVERIFY2(m_tftpd.start(m_root.path()), qPrintable(m_tftpd.errorText()));
    }

    void transfers_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<bool>("write");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<qint64>("size");

        const bool read = false;
        const bool write = true;
        const QString octet = QStringLiteral("octet");
        const QString netascii = QStringLiteral("netascii");
        const qint64 MB = 1 << 20;

        QTest::newRow("curl reads 0 bytes") << "curl" << read << octet << 0 << qint64(0);
        QTest::newRow("curl reads 511 bytes") << "curl" << read << octet << 0 << qint64(511);
        QTest::newRow("curl reads 512 bytes") << "curl" << read << octet << 0 << qint64(512);
        QTest::newRow("curl reads 1024 bytes") << "curl" << read << octet << 0 << qint64(1024);
        QTest::newRow("curl reads 1 MB") << "curl" << read << octet << 0 << MB;
        QTest::newRow("curl reads netascii") << "curl" << read << netascii << 0 << qint64(3000);
        QTest::newRow("curl blksize 8, granted 512") << "curl" << read << octet << 8 << qint64(1000);
        QTest::newRow("curl blksize 512") << "curl" << read << octet << 512 << qint64(5000);
        QTest::newRow("curl blksize 1024") << "curl" << read << octet << 1024 << MB;
        QTest::newRow("curl blksize 1468, 5.4 MB image") << "curl" << read << octet << 1468 << qint64(5400000);
        QTest::newRow("curl blksize 8192") << "curl" << read << octet << 8192 << MB;
        QTest::newRow("curl blksize 65464") << "curl" << read << octet << 65464 << MB;
        // 65537 blocks of 512 bytes: block numbers wrap from 65535 to 0.
        QTest::newRow("curl, more than 65535 blocks") << "curl" << read << octet << 0 << qint64(65536) * 512 + 100;
        QTest::newRow("tftp reads 0 bytes") << "tftp" << read << octet << 0 << qint64(0);
        QTest::newRow("tftp reads 512 bytes") << "tftp" << read << octet << 0 << qint64(512);
        QTest::newRow("tftp reads 1 MB") << "tftp" << read << octet << 0 << MB;
        QTest::newRow("tftp reads netascii") << "tftp" << read << netascii << 0 << qint64(3000);
        QTest::newRow("atftp reads 511 bytes") << "atftp" << read << octet << 0 << qint64(511);
        QTest::newRow("atftp blksize 8, granted 512") << "atftp" << read << octet << 8 << qint64(1100);
        QTest::newRow("atftp blksize 1468") << "atftp" << read << octet << 1468 << MB;
        QTest::newRow("atftp blksize 65464") << "atftp" << read << octet << 65464 << MB;
        QTest::newRow("atftp blksize 70000, granted 65464") << "atftp" << read << octet << 70000 << MB;
        for (const char *client : {"curl", "tftp", "atftp"}) {
            for (const qint64 size : {qint64(0), qint64(512), MB})
                QTest::addRow("%s writes %lld bytes", client, size) << client << write << octet << 0 << size;
        }
        QTest::newRow("curl writes, blksize 1468") << "curl" << write << octet << 1468 << MB;
    }
    void transfers()
    {
        QFETCH(QString, client);
        QFETCH(bool, write);
        QFETCH(QString, mode);
        QFETCH(int, blockSize);
        QFETCH(qint64, size);

        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')).remove(QLatin1Char(','));
        const QString served = m_root.filePath(name);
        const QString local = m_local.filePath(name);
        const QByteArray content = mode == QLatin1String("netascii") ? text(int(size)) : pattern(size, int(size % 97));
        QVERIFY(writeFile(write ? local : served, content));

        auto process = launch(command(client, write, name, local, mode, blockSize));
        finish(*process);
        QVERIFY(!QTest::currentTestFailed());
        // A received file takes its name when the server reports the transfer completed.
        verifyCompletionLine(served, write, size);
        const QByteArray copy = readFile(write ? served : local);
        QCOMPARE(copy.size(), content.size());
        QVERIFY2(copy == content, "the copy differs from the original");
    }

    void severalClientsAtOnce()
    {
        const qint64 size = 1 << 20;
        struct Job
        {
            QString client;
            bool write;
            QString name;
            QByteArray content;
            std::unique_ptr<QProcess> process;
        };
        std::vector<Job> jobs;
        int variant = 0;
        for (const auto &[client, write] : {std::pair{"curl", false}, std::pair{"tftp", false},
                                            std::pair{"atftp", false}, std::pair{"curl", true},
                                            std::pair{"atftp", true}}) {
            Job job{QLatin1String(client), write, QStringLiteral("together-%1").arg(variant), pattern(size, 1000 + variant), {}};
            QVERIFY(writeFile((write ? m_local : m_root).filePath(job.name), job.content));
            ++variant;
            jobs.push_back(std::move(job));
        }
        for (Job &job : jobs) {
            job.process = launch(command(job.client, job.write, job.name, m_local.filePath(job.name) + (job.write ? QString() : QStringLiteral(".copy")),
                                         QStringLiteral("octet"), 1024));
        }
        for (Job &job : jobs) {
            finish(*job.process);
            QVERIFY(!QTest::currentTestFailed());
            verifyCompletionLine(m_root.filePath(job.name), job.write, size);
            const QString copy = job.write ? m_root.filePath(job.name) : m_local.filePath(job.name) + QStringLiteral(".copy");
            QVERIFY2(readFile(copy) == job.content, qPrintable(job.name));
        }
    }
};

QTEST_MAIN(TestTftpInterop)
#include "tst_tftpinterop.moc"
