#include "tftp/ProgressStream.h"
#include "tftp/host/HostWindow.h"
#include "tftp/host/TransferWindow.h"

#include "ScriptedDialogs.h"
#include "TestData.h"
#include "TestFiles.h"
#include "TftpTestPeer.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

namespace {

// The one payload file of the test's program, as large as the real final image.
const QByteArray kFinalImage = pattern(5421431, 746);

// A write from curl whose data the test feeds through curl's standard input, so that the
// transfer stays open as long as the test wants.
class SlowUpload final
{
public:
    SlowUpload(quint16 port, const QString &name)
    {
        m_curl.start("curl", {"-s", "-T", "-", QString("tftp://127.0.0.1:%1/%2").arg(port).arg(name)});
        QObject::connect(&m_feed, &QTimer::timeout, [this] { feed(); });
        m_feed.start(100);
    }
    ~SlowUpload()
    {
        if (m_curl.state() != QProcess::NotRunning) {
            m_curl.kill();
            m_curl.waitForFinished();
        }
    }

    void feed()
    {
        m_curl.write(QByteArray(600, 'w'));
        m_sent += 600;
    }
    // Ends the data; curl then sends the last block and exits.
    int finish()
    {
        m_feed.stop();
        m_curl.closeWriteChannel();
        m_curl.waitForFinished(10000);
        return m_curl.exitCode();
    }
    qint64 sent() const { return m_sent; }

private:
    QProcess m_curl;
    QTimer m_feed;
    qint64 m_sent = 0;
};

// Where a widget shows on the screen; a window with its frame.
QRect onScreen(const QWidget *widget)
{
    return widget->isWindow() ? widget->frameGeometry() : QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

int curlGet(quint16 port, const QString &name, QByteArray *received = nullptr)
{
    QProcess curl;
    curl.start("curl", {"-s", "--path-as-is", "-o", "-", QString("tftp://127.0.0.1:%1/%2").arg(port).arg(name)});
    // The host handles requests on this thread: keep dispatching while curl runs.
    while (!curl.waitForFinished(10))
        QCoreApplication::processEvents();
    if (received)
        *received = curl.readAllStandardOutput();
    return curl.exitCode();
}

} // namespace

// The TFTP host with real transfers from curl on a test port, offscreen.
class TestTftpHost : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    // A program whose payload holds the final image.
    QString m_packed;
    QString m_root;
    std::unique_ptr<QWidget> m_mainWindow;
    std::unique_ptr<TfrmMain> m_host;
    quint16 m_port = 0;

    QStringList log() const { return m_host->memLog->toPlainText().split('\n', Qt::SkipEmptyParts); }
    QList<TfrmTransfer *> windows() const { return m_mainWindow->findChildren<TfrmTransfer *>(); }

    static void verifyLine(const QString &line, const QString &pattern)
    {
        const QRegularExpression expected("^127\\.0\\.0\\.1:\\d+ - " + pattern + "$");
        QVERIFY2(expected.match(line).hasMatch(), qPrintable(line + " does not match " + pattern));
    }

private slots:
    void initTestCase()
    {
        m_packed = packFixture(m_dir.path(), "program", {{"sim_ge-746.img", kFinalImage}});
        QVERIFY(!m_packed.isEmpty());
    }
    void init()
    {
        m_root = m_dir.path() + "/Quillo";
        QVERIFY(QDir().mkpath(m_root + "/sub"));
        m_mainWindow = std::make_unique<QWidget>();
        m_host = std::make_unique<TfrmMain>(m_packed);
        m_host->edtRootDir->setText(m_root + "/");
        m_host->SetTransferParent(m_mainWindow.get());
        m_host->TftpServer->AddBinding("127.0.0.1", 0);
        m_host->TftpServer->SetActive(true);
        m_port = quint16(m_host->TftpServer->Bindings().front()->Port);
    }
    void cleanup()
    {
        m_host.reset();
        m_mainWindow.reset();
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void twoTransfersAtOnce()
    {
        SlowUpload first(m_port, "first.bin");
        SlowUpload second(m_port, "second.bin");
        QTRY_COMPARE(m_host->lblCount->text(), QString("2"));
        QCOMPARE(windows().size(), 2);

        QCOMPARE(first.finish(), 0);
        QTRY_COMPARE(m_host->lblCount->text(), QString("1"));
        QCOMPARE(windows().size(), 1);
        QCOMPARE(windows()[0]->windowTitle(), QString("Writing second.bin"));

        QCOMPARE(second.finish(), 0);
        QTRY_COMPARE(m_host->lblCount->text(), QString("0"));
        QVERIFY(windows().isEmpty());

        const QStringList lines = log();
        QCOMPARE(lines.size(), 4);
        verifyLine(lines[0], "Write access to " + m_root + "/(first|second)\\.bin granted");
        verifyLine(lines[2], QString("Transfer completed - %1 bytes transferred").arg(first.sent()));
        verifyLine(lines[3], QString("Transfer completed - %1 bytes transferred").arg(second.sent()));
        QCOMPARE(QFileInfo(m_root + "/first.bin").size(), first.sent());
    }

    // The wizard's main window, of its fixed size, has text from edge to edge: a progress
    // window opens beside it, never over a label, field, memo or bar of it, each further one
    // a little lower; it stays beside it when the main window moves.
    void transferWindowsCoverNoTextOfTheMainWindow()
    {
        m_mainWindow->setFixedSize(504, 362);
        auto *grid = new QGridLayout(m_mainWindow.get());
        grid->setContentsMargins(0, 0, 0, 0);
        for (int row = 0; row < 4; ++row) {
            const QString title = QString("Step %1 of the run, a title that reaches the right edge").arg(row);
            grid->addWidget(new QLabel(title), row, 0, 1, 2);
            grid->addWidget(new QProgressBar, row, 2);
            grid->addWidget(new QLineEdit("field"), row + 4, 0);
            grid->addWidget(new QPlainTextEdit("memo"), row + 4, 1, 1, 2);
        }
        m_mainWindow->show();
        QVERIFY(QTest::qWaitForWindowActive(m_mainWindow.get()));
        const QList<QWidget *> parts = m_mainWindow->findChildren<QWidget *>();
        const auto coveredText = [&](const TfrmTransfer *window) {
            QStringList covered;
            for (const QWidget *part : parts) {
                if (part->isVisible() && onScreen(part).intersects(onScreen(window)))
                    covered << part->metaObject()->className();
            }
            return covered.join(' ');
        };

        SlowUpload first(m_port, "first.bin");
        QTRY_COMPARE(windows().size(), 1);
        SlowUpload second(m_port, "second.bin");
        QTRY_COMPARE(windows().size(), 2);
        // A window of its own, found by its name and by what it transfers.
        for (int i = 0; i < 2; ++i) {
            const QString transfer = QString("Writing %1").arg(i == 0 ? "first.bin" : "second.bin");
            QVERIFY(windows()[i]->isWindow());
            QCOMPARE(windows()[i]->objectName(), QString("frmTransfer"));
            QCOMPARE(windows()[i]->windowTitle(), transfer);
            QCOMPARE(windows()[i]->accessibleName(), transfer);
        }

        for (int move = 0; move < 2; ++move) {
            for (const TfrmTransfer *window : windows()) {
                QVERIFY(window->isVisible());
                QVERIFY2(coveredText(window).isEmpty(),
                         qPrintable(window->windowTitle() + " covers " + coveredText(window)));
                QVERIFY(m_mainWindow->screen()->availableGeometry().contains(onScreen(window)));
            }
            QVERIFY(onScreen(windows()[1]).top() > onScreen(windows()[0]).top());
            m_mainWindow->move(m_mainWindow->pos() + QPoint(20, 30));
        }
        QCOMPARE(first.finish(), 0);
        QCOMPARE(second.finish(), 0);
        QTRY_VERIFY(windows().isEmpty());
    }

    void writeBarKeepsMaximumZeroWhileTheRateRises()
    {
        QProgressBar runPageBar;
        m_host->ExternalProgressBar = &runPageBar;
        SlowUpload upload(m_port, "conf_file.txt");
        QTRY_COMPARE(windows().size(), 1);
        TfrmTransfer *window = windows()[0];
        QCOMPARE(window->windowTitle(), QString("Writing conf_file.txt"));
        QTRY_VERIFY(window->lblByteRate->text().toLongLong() > 0);
        const QString firstRate = window->lblByteRate->text();
        QTRY_VERIFY(window->lblByteRate->text() != firstRate);
        QVERIFY(window->lblByteRate->text().toLongLong() > 0);
        QCOMPARE(window->prgTransfer->maximum(), 0);
        QCOMPARE(runPageBar.maximum(), 0);
        QCOMPARE(upload.finish(), 0);
        QTRY_VERIFY(windows().isEmpty());
    }

    void readMirrorsOntoTheRunPage()
    {
        QProgressBar runPageBar;
        m_host->ExternalProgressBar = &runPageBar;
        // Long enough for the window to refresh before the transfer ends.
        QVERIFY(writeFile(m_root + "/image.img", QByteArray(3000000, 'i')));
        QByteArray received;
        QCOMPARE(curlGet(m_port, "image.img", &received), 0);
        QCOMPARE(received.size(), 3000000);
        QCOMPARE(runPageBar.maximum(), 3000000);
        QVERIFY(runPageBar.value() > 0);
    }

    void logLines_data()
    {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<int>("curlExit");
        QTest::addColumn<QStringList>("patterns");

        QTest::newRow("granted") << "conf_file.txt" << 0
                                 << QStringList{"Read access to ROOT/conf_file\\.txt granted",
                                                "Transfer completed - 1000 bytes transferred"};
        QTest::newRow("granted through a sub folder") << "sub/../conf_file.txt" << 0
                                                      << QStringList{"Read access to ROOT/conf_file\\.txt granted",
                                                                     "Transfer completed - 1000 bytes transferred"};
        // curl reports TFTP error 2 as a permission problem (69) and error 1 as not found (68).
        QTest::newRow("outside the root") << "../x.txt" << 69 << QStringList{"Read access to PARENT/x\\.txt denied"};
        QTest::newRow("missing file") << "missing.txt" << 68 << QStringList{"Read access to ROOT/missing\\.txt denied"};
    }
    void logLines()
    {
        QFETCH(QString, requested);
        QFETCH(int, curlExit);
        QFETCH(QStringList, patterns);
        QVERIFY(writeFile(m_root + "/conf_file.txt", QByteArray(1000, 'c')));
        QVERIFY(writeFile(m_dir.path() + "/x.txt", "outside"));

        QCOMPARE(curlGet(m_port, requested), curlExit);
        QTRY_COMPARE(log().size(), patterns.size());
        for (int i = 0; i < patterns.size(); ++i) {
            QString pattern = patterns[i];
            pattern.replace("ROOT", QRegularExpression::escape(m_root)).replace("PARENT", QRegularExpression::escape(m_dir.path()));
            verifyLine(log()[i], pattern);
        }
        QCOMPARE(m_host->lblCount->text(), QString("0"));
    }

    // The count adds what each read asked for; the log reports the bytes that were moved.
    void progressCountsRequestedBytes()
    {
        QVERIFY(writeFile(m_root + "/thousand.bin", QByteArray(1000, 't')));
        TProgressStream stream(m_root + "/thousand.bin");
        QVERIFY(stream.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        char block[512];
        QCOMPARE(stream.read(block, 512), 512);
        QCOMPARE(stream.read(block, 512), 488);
        QCOMPARE(stream.TotalBytes(), 1024);
        QCOMPARE(stream.pos(), 1000);
    }

    void flagsAfterGoodAndAbortedTransfers()
    {
        QVERIFY(writeFile(m_root + "/good.bin", QByteArray(700, 'g')));
        m_host->SetTransferDone(false);
        m_host->SetTransferOk(true);
        QCOMPARE(curlGet(m_port, "good.bin"), 0);
        QTRY_VERIFY(m_host->TransferDone());
        QVERIFY(m_host->TransferOk());

        // A peer that takes the first block and then gives up with an ERROR.
        QVERIFY(writeFile(m_root + "/long.bin", QByteArray(5000, 'l')));
        m_host->SetTransferDone(false);
        TftpTestPeer peer;
        peer.sendRequest(1, "long.bin", "octet", m_port);
        const auto first = peer.receive();
        QVERIFY(first && first->opcode == 3);
        peer.send(QByteArray("\x00\x05\x00\x00gave up\x00", 12), first->fromPort);
        QTRY_VERIFY(m_host->TransferDone());
        QVERIFY(!m_host->TransferOk());
        verifyLine(log().last(), "Transfer aborted - 512 bytes transferred");
        QCOMPARE(m_host->lblCount->text(), QString("0"));
    }

    void destroyedWhileTransfersRun()
    {
        SlowUpload upload(m_port, "unfinished.bin");
        QTRY_COMPARE(m_host->lblCount->text(), QString("1"));
        m_host.reset();
        QVERIFY(windows().isEmpty());
        QVERIFY(upload.finish() != 0);
    }

    void appendixPassThrough()
    {
        QVERIFY(m_host->HasAppendix());
        QVERIFY(m_host->AppendixFileExists("Sim_GE-746.img"));
        QVERIFY(!m_host->AppendixFileExists("absent.img"));
        const std::unique_ptr<QIODevice> image = m_host->OpenAppendixFile("sim_ge-746.img");
        QVERIFY(image);
        QCOMPARE(image->size(), 5421431);
        QVERIFY(image->readAll() == kFinalImage);
        QVERIFY(!m_host->OpenAppendixFile("absent.img"));
    }

    void browseChoosesTheRootFolder()
    {
        ScriptedDialogs dialogs;
        dialogs.setNextFolder("/srv/tftp");
        m_host->btnBrowse->click();
        QCOMPARE(m_host->edtRootDir->text(), QString("/srv/tftp"));
        m_host->btnBrowse->click();
        QCOMPARE(m_host->edtRootDir->text(), QString("/srv/tftp"));
    }
};

QTEST_MAIN(TestTftpHost)
#include "tst_tftphost.moc"
