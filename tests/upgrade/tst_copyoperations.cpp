#include "ProcedureRig.h"

#include "CountedClock.h"
#include "TftpTestPeer.h"
#include "TftpdProcess.h"

#include "tftp/TrivialFTPBase.h"

#include <QPlainTextEdit>

#include "upgrade/upgrade_copy.h"

#include <sys/prctl.h>

using Platform::MessageKind;

namespace {

const QString kLevel1Warning = "Seems you are in user level 1 and not 15 \n\rApplication will terminate , you may  start again later.";
const QString kWrongIpWarning = "Seems you chose the the wrong ip for the tftp server.\n\r127.0.0.1 address does not seem to fit\n\r"
                         "Application will terminate , you may  start again later.";
const QString kOccupiedWarning = "Seems Copy is stuck (occupied by another user).\n\r127.0.0.1 seems to be OK , but the device is "
                          "useing the \"copy\"\n\rApplication will terminate , you may  start again later.";
const QString kTransferFailedWarning = "TFTP file transfer had failed.\n\rApplication will terminate.";
const QString kTelnetClosed = "Telnet is closed , application will now terminat.";

enum class Copy { Backup, Download };

// Another client of the PC's TFTP server, from 127.0.0.1 (the switch is 127.0.0.2): it reads
// the file whole, or writes it whole, or breaks its transfer off with an ERROR after the
// first block. Runs to its end, dispatching the test thread's events meanwhile.
void strangerTransfer(bool writing, const QByteArray &file, bool completes)
{
    TftpTestPeer stranger;
    stranger.sendRequest(writing ? TFTP_WRQ : TFTP_RRQ, file, "octet", 69);
    const QByteArray breakOff = makeErrorPacket(0, QStringLiteral("stranger breaks off"));
    if (writing) {
        const std::optional<TftpTestPeer::Packet> ack = stranger.receive();
        QVERIFY(ack && ack->opcode == TFTP_ACK);
        if (!completes) {
            stranger.sendData(1, QByteArray(512, 's'), ack->fromPort);
            QVERIFY(stranger.receive());
            stranger.send(breakOff, ack->fromPort);
            return;
        }
        stranger.sendData(1, "hostname stranger\n", ack->fromPort);
        QVERIFY(stranger.receive());
        return;
    }
    for (;;) {
        const std::optional<TftpTestPeer::Packet> data = stranger.receive();
        QVERIFY(data && data->opcode == TFTP_DATA);
        if (!completes) {
            stranger.send(breakOff, data->fromPort);
            return;
        }
        stranger.sendAck(data->number, data->fromPort);
        if (data->body.size() < 512)
            return;
    }
}

} // namespace

// The configuration backup and the image download against the simulated switch over real
// loopback sockets: its copies run curl against the wizard's own TFTP host on UDP 69.
class TestCopyOperations : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};
    QTemporaryDir m_base;
    std::unique_ptr<QTemporaryDir> m_temp;
    QString m_payload;
    QString m_configFile;

    QStringList scenario(const QStringList &extra = {}) const
    {
        return QStringList{"--payload", m_payload, "--copy-start-delay", "50", "--copy-tick", "50"} + extra;
    }

    static QByteArray payloadFile(const QString &payload, const QString &name)
    {
        const TEXEAppendixFileSystem store(payload);
        return store.OpenFile(name, TExeAppendixStream::AccessMode::Read)->data();
    }

    bool run(ProcedureRig &rig, Copy copy, bool &result, QString &raised)
    {
        raised = rig.raisedBy([&] {
            result = copy == Copy::Backup ? rig.operations.BackupConfiguration(rig.onProgress)
                                          : rig.operations.DownloadImage(rig.onProgress);
        });
        return true;
    }

private slots:
    void initTestCase()
    {
        // The waits that are run out make many short sleeps; the kernel's default slack would
        // stretch each of them.
        prctl(PR_SET_TIMERSLACK, 1UL);
        m_payload = packDemoPayload(m_base.path(), "payload");
        QVERIFY(!m_payload.isEmpty());
    }

    void init()
    {
        m_temp = std::make_unique<QTemporaryDir>(m_base.filePath("run-XXXXXX"));
        QVERIFY(prepareWorkingFolder(m_temp->path()));
        QVERIFY(QDir().mkpath(m_temp->filePath("cfg")));
        m_configFile = m_temp->filePath("cfg/sw.txt");
        Platform::setTimeScale(kPeerTimeScale);
    }

    void backupLandsWholeAtTheOperatorsPath()
    {
        SwitchSim sim(scenario());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig(m_payload, m_configFile);
        QVERIFY(rig.takeInventory(sim));

        QVERIFY(rig.operations.BackupConfiguration(rig.onProgress));
        const QByteArray sent = sim.sent("conf_file.txt");
        QVERIFY(sent.count('\n') > 24);
        QCOMPARE(readFile(m_configFile), sent);
        QVERIFY(sim.transcript().endsWith("show bootvar\ncopy  running-config tftp://127.0.0.1/conf_file.txt \r"));
        QVERIFY(rig.dialogs.shown().isEmpty());

        QCOMPARE(rig.progress.first(), QString("saving configuration for later on ...."));
        QCOMPARE(rig.progress.count("Copy Completed!!!!"), 1);
        // Each line the switch printed is reported once, the line in progress as it stood.
        const QStringList lines = rig.progress.mid(1, rig.progress.size() - 2);
        QVERIFY(!lines.isEmpty());
        // A piece that ends a line is continued by the next one: the echo and the switch's
        // first lines run together.
        QVERIFY(lines.first().startsWith("copy  running-config tftp://127.0.0.1/conf_file.txt Accessing file"));
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString &l) { return l.contains("bytes copied in"); }));
        for (const QString &line : lines)
            QVERIFY2(line.isEmpty() || lines.count(line) == 1, qPrintable(line));
        QVERIFY(rig.operations.Telnet->Received.isEmpty());
    }

    // The switch's output grows a mark a second while the image moves, and every pause shows
    // all of it again; a large image keeps the copy running over several pauses.
    void downloadPutsTheImageIntoTheInactiveSlot()
    {
        const QString payload = packDemoPayload(m_temp->path(), "large", 40'000'000);
        SwitchSim sim(QStringList{"--payload", payload, "--copy-start-delay", "50", "--copy-tick", "40"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig(payload, m_configFile);
        QVERIFY(rig.takeInventory(sim));

        QVERIFY(rig.operations.DownloadImage(rig.onProgress));
        QVERIFY(sim.slotImage(2) == payloadFile(payload, "sim_ge-interim.img"));
        QVERIFY(sim.slotImage(1).isEmpty());
        QVERIFY(sim.transcript().endsWith("copy tftp://127.0.0.1/sim_ge-interim.img image\n"));
        QCOMPARE(rig.progress.first(), QString("Starting download image process...."));
        QCOMPARE(rig.progress.last(), QString("Copy Completed!!!!"));

        // Every pass reports the line of marks again; it never shrinks, and it grows.
        QList<qsizetype> marks;
        for (const QString &line : std::as_const(rig.progress)) {
            if (line.contains("Loading sim_ge-interim.img from 127.0.0.1:"))
                marks << line.count('!');
        }
        QVERIFY(marks.size() >= 2);
        QVERIFY(std::is_sorted(marks.begin(), marks.end()));
        QVERIFY(marks.last() > marks.first());
        QVERIFY(rig.dialogs.shown().isEmpty());
    }

    // A small image that has moved before the switch's answer is looked at: the flags are set
    // before the command goes out, so the finished transfer is not missed.
    void fastImage()
    {
        const QString payload = packDemoPayload(m_temp->path(), "small", 2000);
        SwitchSim sim(QStringList{"--payload", payload, "--copy-start-delay", "0"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig(payload, m_configFile);
        QVERIFY(rig.takeInventory(sim));
        QVERIFY(sim.transcript().size() > 0);

        QVERIFY(rig.operations.DownloadImage(rig.onProgress));
        QCOMPARE(sim.events("copy").last().value("result").toString(), QString("ok"));
        QVERIFY(sim.slotImage(2) == payloadFile(payload, "sim_ge-interim.img"));
        QVERIFY(rig.dialogs.shown().isEmpty());
    }

    // Rows that run a bounded wait out make the clock go faster once nothing races the switch
    // any more: at the command when no transfer will start, once the transfer has ended when
    // only the completion line is awaited (the TFTP engine's own time-outs scale too).
    void failures_data()
    {
        QTest::addColumn<int>("copy");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("refusingServer");
        QTest::addColumn<QString>("speedUpAt");
        QTest::addColumn<int>("boundedPauses");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("raised");
        QTest::addColumn<bool>("terminates");

        const int backup = int(Copy::Backup);
        const int download = int(Copy::Download);
        // The switch starts moving the file well after it has been looked at.
        const QStringList late{"--copy-start-delay", "1500"};
        const QStringList failed{kTransferFailedWarning, kTelnetClosed};
        const QString closed = "Telnet conection is closed";
        QTest::newRow("backup, level 1") << backup << QStringList{"--privilege", "1"} << false << "" << 0
                                         << QStringList{kLevel1Warning} << "" << false;
        QTest::newRow("download, level 1") << download << QStringList{"--privilege", "1"} << false << "" << 0
                                           << QStringList{kLevel1Warning} << "" << true;
        QTest::newRow("backup, the server refuses") << backup << QStringList{} << true << "" << 0
                                                    << QStringList{kWrongIpWarning} << "" << false;
        QTest::newRow("download, the server refuses, failure in capitals")
            << download << QStringList{"--copy-failure-text", "%COPY-E-TFTPFAIL: COPY OPERATION HAS FAILED"} << true << ""
            << 0 << QStringList{kWrongIpWarning} << "" << true;
        QTest::newRow("backup, a transfer that fails early reads as a wrong address")
            << backup << QStringList{"--copy-fault", "abort-after=700"} << false << "" << 0
            << QStringList{kWrongIpWarning} << "" << false;
        QTest::newRow("backup, occupied by another user")
            << backup << QStringList{"--copy-fault", "occupied"} << false << "" << 0 << QStringList{kOccupiedWarning}
            << "Application shoud terminate" << true;
        QTest::newRow("backup, the transfer stops half-way")
            << backup << late + QStringList{"--copy-fault", "abort-after=700"} << false << "" << 0 << failed << closed
            << true;
        QTest::newRow("download, the transfer stops half-way")
            << download << late + QStringList{"--copy-fault", "abort-after=100000"} << false << "" << 0 << failed << closed
            << true;
        QTest::newRow("backup, the copy never starts") << backup << QStringList{"--copy-fault", "never-starts"} << false
                                                       << "command" << kTransferWaitPauses << failed << closed << true;
        QTest::newRow("download, the copy never ends") << download << QStringList{"--copy-fault", "never-ends"} << false
                                                       << "transferred" << kCompletionWaitPauses << failed << closed
                                                       << true;
        QTest::newRow("backup, \"Bytes copied in\" is no completion")
            << backup << QStringList{"--copy-fault", "capital-bytes"} << false << "transferred" << kCompletionWaitPauses
            << failed << closed << true;
        QTest::newRow("download, the connection is lost during the transfer")
            << download << late + QStringList{"--copy-fault", "drop-telnet"} << false << "" << 0
            << QStringList{kTelnetClosed} << closed << true;
    }
    void failures()
    {
        QFETCH(int, copy);
        QFETCH(QStringList, extra);
        QFETCH(bool, refusingServer);
        QFETCH(QString, speedUpAt);
        QFETCH(int, boundedPauses);
        QFETCH(QStringList, messages);
        QFETCH(QString, raised);
        QFETCH(bool, terminates);

        // A server that answers every request with an error makes the switch's copy fail at
        // once, as a wrong server address does after the switch's own time-out.
        TftpdProcess refusing;
        QTemporaryDir refusingRoot;
        if (refusingServer) {
            QVERIFY2(refusing.startRefusing(refusingRoot.path()), qPrintable(refusing.errorText()));
            extra << "--tftp-port" << QString::number(refusing.port());
        }
        SwitchSim sim(scenario(extra));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig(m_payload, m_configFile);
        QVERIFY(writeFile(m_configFile, "last week's backup\n"));
        QVERIFY(rig.takeInventory(sim));
        const QString command = Copy(copy) == Copy::Backup ? "saving configuration for later on ...."
                                                           : "Starting download image process....";
        rig.onText = [&](const QString &text) {
            if ((speedUpAt == "command" && text == command)
                || (speedUpAt == "transferred" && (rig.host->TransferDone() || text.contains("ytes copied in"))))
                Platform::setTimeScale(0.002);
        };

        bool result = true;
        QString error;
        const quint32 elapsed = programMsOf([&] { run(rig, Copy(copy), result, error); });
        QCOMPARE(rig.dialogs.texts(), messages);
        for (const auto &shown : rig.dialogs.shown())
            QCOMPARE(shown.kind, shown.text == kTelnetClosed ? MessageKind::Error : MessageKind::Warning);
        QCOMPARE(error, raised);
        if (raised.isEmpty())
            QVERIFY(!result);
        QCOMPARE(Platform::terminateRequested(), terminates);
        QCOMPARE(readFile(m_configFile), QByteArray("last week's backup\n"));
        QVERIFY2(elapsed >= quint32(boundedPauses) * 1000, qPrintable(QString::number(elapsed)));
        if (messages.contains(kTransferFailedWarning))
            QVERIFY(!rig.operations.Telnet->Connected());
    }

    // While the procedure waits for the switch's own copy, other clients of the PC's server
    // move the same file: one whole, one broken off. Both are served; neither ends the wait
    // or decides its outcome, and what lands at the operator's path is the switch's own.
    void strangersTransfersChangeNothing_data()
    {
        QTest::addColumn<int>("copy");
        QTest::addColumn<bool>("completes");
        QTest::newRow("backup, a stranger writes the file whole") << int(Copy::Backup) << true;
        QTest::newRow("backup, a stranger breaks off") << int(Copy::Backup) << false;
        QTest::newRow("download, a stranger reads the image whole") << int(Copy::Download) << true;
        QTest::newRow("download, a stranger breaks off") << int(Copy::Download) << false;
    }
    void strangersTransfersChangeNothing()
    {
        QFETCH(int, copy);
        QFETCH(bool, completes);
        const bool backup = Copy(copy) == Copy::Backup;
        // The switch's own transfer begins after the strangers' have ended.
        SwitchSim sim(scenario({"--copy-start-delay", "3000"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig(m_payload, m_configFile);
        QVERIFY(rig.takeInventory(sim));
        const QString command = backup ? "saving configuration for later on ...." : "Starting download image process....";
        bool strangersDone = false;
        rig.onText = [&](const QString &text) {
            if (text != command || std::exchange(strangersDone, true))
                return;
            strangerTransfer(backup, backup ? "conf_file.txt" : "sim_ge-interim.img", completes);
        };

        bool result = false;
        QString error;
        run(rig, Copy(copy), result, error);
        QVERIFY(strangersDone);
        QCOMPARE(error, QString());
        QVERIFY(result);
        QCOMPARE(rig.dialogs.texts(), QStringList());
        QVERIFY(!Platform::terminateRequested());
        if (backup)
            QCOMPARE(readFile(m_configFile), sim.sent("conf_file.txt"));
        else
            QVERIFY(sim.slotImage(2) == payloadFile(m_payload, "sim_ge-interim.img"));
        const QStringList log = rig.host->memLog->toPlainText().split('\n');
        const QString strangerEnd = completes ? " - Transfer completed - " : " - Transfer aborted - ";
        QVERIFY2(std::any_of(log.begin(), log.end(),
                             [&](const QString &line) { return line.startsWith("127.0.0.1:") && line.contains(strangerEnd); }),
                 qPrintable(log.join('\n')));
    }

    // The switch refuses the copy only once its TFTP client has given up, long after the
    // command's answer was looked at: the wait ends with the refusal's message then, for the
    // image as for the backup, instead of running to its bound.
    void lateRefusalEndsTheWait_data()
    {
        QTest::addColumn<int>("copy");
        QTest::newRow("backup") << int(Copy::Backup);
        QTest::newRow("download") << int(Copy::Download);
    }
    void lateRefusalEndsTheWait()
    {
        QFETCH(int, copy);
        TftpdProcess refusing;
        QTemporaryDir refusingRoot;
        QVERIFY2(refusing.startRefusing(refusingRoot.path()), qPrintable(refusing.errorText()));
        // The copy starts, and fails, well after the answer's look three seconds in.
        SwitchSim sim(scenario({"--tftp-port", QString::number(refusing.port()), "--copy-start-delay", "2000"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig(m_payload, m_configFile);
        QVERIFY(rig.takeInventory(sim));

        bool result = true;
        QString error;
        const quint32 elapsed = programMsOf([&] { run(rig, Copy(copy), result, error); });
        QVERIFY(!result);
        QCOMPARE(error, QString());
        QCOMPARE(rig.dialogs.texts(), QStringList{kWrongIpWarning});
        // As at the command's answer: the image download ends the program itself, the run
        // page does for the backup.
        QCOMPARE(Platform::terminateRequested(), Copy(copy) == Copy::Download);
        QVERIFY(!QFile::exists(m_configFile));
        // Ended by the refusal, not by the bound: fewer pauses than the whole wait allows.
        QVERIFY2(elapsed < quint32(kTransferWaitPauses) * 1000, qPrintable(QString::number(elapsed)));
    }

    void backupThatCannotBeWrittenChangesNothing()
    {
        SwitchSim sim(scenario());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        // A folder where the file should be: the copy cannot replace it.
        QVERIFY(QDir().mkpath(m_configFile));
        ProcedureRig rig(m_payload, m_configFile);
        QVERIFY(rig.takeInventory(sim));

        QVERIFY(!rig.operations.BackupConfiguration(rig.onProgress));
        QCOMPARE(rig.dialogs.shown().size(), 1);
        QCOMPARE(rig.dialogs.shown()[0].kind, MessageKind::Warning);
        QVERIFY(rig.dialogs.texts()[0].startsWith("The configuration could not be saved to " + m_configFile + " ("));
        QVERIFY(rig.dialogs.texts()[0].endsWith(").\n\rApplication will terminate , you may  start again later."));
        QVERIFY(QFileInfo(m_configFile).isDir());
        QVERIFY(!Platform::terminateRequested());
    }

    // A configuration left in the working folder by an earlier run is gone before the switch
    // is asked for its own, so it can never be passed off as this switch's.
    void staleUploadIsRemovedFirst()
    {
        SwitchSim sim(scenario({"--copy-fault", "occupied"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig(m_payload, m_configFile);
        QVERIFY(rig.takeInventory(sim));
        const QString stale = WorkingFolder() + kConfigUploadName;
        QVERIFY(writeFile(stale, "hostname another-switch\n"));
        bool presentAtTheCommand = true;
        rig.onText = [&](const QString &text) {
            if (text == "saving configuration for later on ....")
                presentAtTheCommand = QFile::exists(stale);
        };

        QCOMPARE(rig.raisedBy([&] { rig.operations.BackupConfiguration(rig.onProgress); }),
                 QString("Application shoud terminate"));
        QVERIFY(!presentAtTheCommand);
        QVERIFY(!QFile::exists(m_configFile));
    }
};

QTEST_MAIN(TestCopyOperations)
#include "tst_copyoperations.moc"
