#include "CountedClock.h"
#include "SimPeers.h"
#include "SwitchSim.h"
#include "TestData.h"
#include "TestFiles.h"
#include "TftpdProcess.h"

#include "tftp/LogLines.h"

#include <QUdpSocket>
#include <QtTest>

using Bytes = QList<QByteArray>;

namespace {

const QByteArray kExec = "\x1b[Kconsole# ";
const QByteArray kFailure = "%COPY-E-TFTPFAIL: Copy operation has failed";
const QByteArray kBackup = "copy  running-config tftp://127.0.0.1/conf_file.txt \r";
const QByteArray kDownload = "copy tftp://127.0.0.1/sim_ge-interim.img image\n";

bool matches(const QString &pattern, const QByteArray &text)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern), QRegularExpression::DotMatchesEverythingOption)
        .match(QString::fromLatin1(text))
        .hasMatch();
}

QString escaped(const QByteArray &text)
{
    return QRegularExpression::escape(QString::fromLatin1(text));
}

} // namespace

// The switch's copies and its intermediate image's self-upgrade against tessaro-tftpd as the
// PC's server, with curl as the switch's client. The payload is a small program packed at
// test time with tessaro-pack: its images are a few dozen kilobytes, so that every transfer
// takes a blink, where the demo's 3.5 and 5.4 MB images would make each run of the
// self-upgrade cost seconds without proving more.
class TestSimTransfers : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};
    QTemporaryDir m_temp;
    QString m_payload;
    QString m_root;
    TftpdProcess m_tftpd;
    const QByteArray m_interim = pattern(40000, 1);
    const QByteArray m_final = pattern(60000, 2);

    QStringList scenario(const QStringList &extra = {}) const
    {
        return QStringList{"--tftp-port", QString::number(m_tftpd.port()), "--payload", m_payload, "--copy-start-delay", "0",
                           "--copy-tick", "20", "--reset-time", "100", "--step-interval", "20"}
            + extra;
    }

    // The number of log lines the server has written so far: where the next test's begin.
    qsizetype logMark()
    {
        while (m_tftpd.process().waitForReadyRead(20)) {
        }
        return m_tftpd.lines().size();
    }

    // How the server's log, from line since on, ends the transfer of a file: "completed - N
    // bytes transferred" or "aborted - ..."; empty when no such transfer ends in time.
    QString transferEnd(qsizetype since, const QString &file, bool write)
    {
        const QString grant = QStringLiteral(" - ") + requestLogText(write, QDir(m_root).filePath(file), true);
        QString requester;
        const QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            for (const QString &line : m_tftpd.lines().mid(since)) {
                if (requester.isEmpty() && line.endsWith(grant))
                    requester = line.left(line.size() - grant.size());
                else if (!requester.isEmpty() && line.startsWith(requester + QStringLiteral(" - Transfer ")))
                    return line.mid(requester.size() + 12);
            }
            m_tftpd.process().waitForReadyRead(50);
        }
        return {};
    }

    // A UDP port of the loopback address on which nothing listens.
    static quint16 closedUdpPort()
    {
        QUdpSocket probe;
        probe.bind(QHostAddress::LocalHost, 0);
        return probe.localPort();
    }

    static void ackLastStep(const SwitchSim &sim) { QVERIFY(SimSnmp::set(sim, SimSnmp::kSysContact, QString())); }

    static QStringList stepTexts(const SwitchSim &sim)
    {
        QStringList texts;
        for (const QJsonObject &step : sim.events("step"))
            texts << step.value("text").toString();
        return texts;
    }

private slots:
    void initTestCase()
    {
        m_payload = packFixture(m_temp.path(), "tessaro",
                                {{"sim_ge-interim.img", m_interim}, {"sim_ge-746.img", m_final}, {"sim_fe-interim.img", pattern(30000, 3)}});
        QVERIFY(!m_payload.isEmpty());
        m_root = m_temp.filePath("pc");
        QVERIFY(QDir().mkpath(m_root));

        // The PC's folder: the two images as the wizard extracts them, one whose bytes are
        // not the payload's, and one the payload does not know.
        QVERIFY(writeFile(m_root + "/sim_ge-interim.img", m_interim));
        QVERIFY(writeFile(m_root + "/sim_ge-746.img", m_final));
        QVERIFY(writeFile(m_root + "/sim_fe-interim.img", pattern(30000, 4)));
        QVERIFY(writeFile(m_root + "/unknown.img", pattern(1000, 5)));
        QVERIFY2(m_tftpd.start(m_root), qPrintable(m_tftpd.errorText()));
    }

    // The upload arrives as the switch says it sent it: the same bytes, and their count in
    // the completion line.
    void backupArrivesAsSent()
    {
        const qsizetype since = logMark();
        SwitchSim sim(scenario());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        const QByteArray reply = terminal.type(kBackup);
        const QByteArray sent = sim.sent("conf_file.txt");
        QVERIFY2(matches(escaped("copy  running-config tftp://127.0.0.1/conf_file.txt \r\n"
                                 "Accessing file 'conf_file.txt' on 127.0.0.1...\r\nStoring conf_file.txt on 127.0.0.1:")
                             + "!*" + escaped("\r\nCopy: " + QByteArray::number(sent.size()) + " bytes copied in ")
                             + "\\d\\d:\\d\\d:\\d\\d" + escaped(" [hh:mm:ss]\r\n\r\n" + kExec),
                         reply),
                 reply.constData());
        // The received file takes its name when the server has ended the transfer.
        QCOMPARE(transferEnd(since, QStringLiteral("conf_file.txt"), true),
                 QStringLiteral("completed - %1 bytes transferred").arg(sent.size()));
        QCOMPARE(readFile(m_root + "/conf_file.txt"), sent);
        QVERIFY(sent.count('\n') >= 24);
        for (const char *line : {"\nhostname switch-1\n", "\nsnmp-server location Lab rack 3\n", "\ninterface vlan 100\n", "\nip address dhcp\n"})
            QVERIFY2(sent.contains(line), line);
        QCOMPARE(sim.events("copy").value(0).value("result").toString(), QStringLiteral("ok"));
    }

    void imageLandsInInactiveSlot_data()
    {
        QTest::addColumn<int>("active");
        QTest::newRow("slot 1 runs") << 1;
        QTest::newRow("slot 2 runs") << 2;
    }
    void imageLandsInInactiveSlot()
    {
        QFETCH(int, active);
        const int inactive = 3 - active;
        SwitchSim sim(scenario({"--active-image", QString::number(active), "--next-image", QString::number(active)}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        const QByteArray reply = terminal.type(kDownload);
        QVERIFY2(matches(escaped("copy tftp://127.0.0.1/sim_ge-interim.img image\r\nAccessing file 'sim_ge-interim.img' on 127.0.0.1...\r\n"
                                 "Loading sim_ge-interim.img from 127.0.0.1:")
                             + "!*" + escaped("\r\nCopy: 40000 bytes copied in ") + ".*",
                         reply),
                 reply.constData());
        QCOMPARE(sim.slotImage(inactive), m_interim);
        QVERIFY(sim.slotImage(active).isEmpty());
        QCOMPARE(sim.events("copy").value(0).value("slot").toInt(), inactive);
        // Until a reset, the switch runs what it ran.
        QVERIFY(terminal.type("show bootvar\n").contains(QByteArray("image-") + QByteArray::number(active) + " : active"));
    }

    // A switch takes only an image it knows: the payload's file of that name, byte for byte.
    void imageRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("bytes differ from the payload's") << QByteArray("sim_fe-interim.img");
        QTest::newRow("name not in the payload") << QByteArray("unknown.img");
    }
    void imageRefused()
    {
        QFETCH(QByteArray, file);
        SwitchSim sim(scenario());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        const QByteArray reply = terminal.type("copy tftp://127.0.0.1/" + file + " image\n");
        QVERIFY2(reply.endsWith("\r\n%COPY-E-IMAGE: " + file + " is not a valid image file\r\n" + kFailure + "\r\n\r\n" + kExec),
                 reply.constData());
        QVERIFY(sim.slotImage(1).isEmpty() && sim.slotImage(2).isEmpty());
        QCOMPARE(sim.events("copy").value(0).value("result").toString(), QStringLiteral("bad-image"));
    }

    // Copies that end at once, with the line the wizard looks for.
    void copyRefused_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("result");

        const QString accessing = escaped("copy tftp://127.0.0.1/sim_ge-interim.img image\r\nAccessing file 'sim_ge-interim.img' on 127.0.0.1...\r\n"
                                          "Loading sim_ge-interim.img from 127.0.0.1:");
        const QString failed = escaped("\r\n" + kFailure + "\r\n\r\n" + kExec);
        QTest::newRow("nothing listens at the server") << QStringList{"--tftp-port", QString::number(closedUdpPort())} << kDownload
                                                       << accessing + "!+" + failed << "failed";
        QTest::newRow("file not on the server")
            << QStringList{} << QByteArray("copy tftp://127.0.0.1/missing.img image\n")
            << escaped("copy tftp://127.0.0.1/missing.img image\r\nAccessing file 'missing.img' on 127.0.0.1...\r\n"
                       "Loading missing.img from 127.0.0.1:") + "!*" + failed
            << "failed";
        QTest::newRow("server outside the loopback network is never contacted")
            << QStringList{} << QByteArray("copy  running-config tftp://192.0.2.7/conf_file.txt \r")
            << escaped("copy  running-config tftp://192.0.2.7/conf_file.txt \r\nAccessing file 'conf_file.txt' on 192.0.2.7...\r\n"
                       "Storing conf_file.txt on 192.0.2.7:") + failed
            << "unreachable";
        QTest::newRow("failure line in other letter case")
            << QStringList{"--copy-failure-text", "Copy: Operation Has FAILED"} << QByteArray("copy tftp://192.0.2.7/x.img image\n")
            << escaped("copy tftp://192.0.2.7/x.img image\r\nAccessing file 'x.img' on 192.0.2.7...\r\nLoading x.img from 192.0.2.7:"
                       "\r\nCopy: Operation Has FAILED\r\n\r\n" + kExec)
            << "unreachable";
        QTest::newRow("occupied by another user")
            << QStringList{"--copy-fault", "occupied"} << kBackup
            << escaped(kBackup + "\n%COPY-W-BUSY: The copy engine is occupied by another user, try again later\r\n\r\n" + kExec)
            << "occupied";
        QTest::newRow("a fault aimed at the image leaves the backup alone")
            << QStringList{"--copy-fault", "image:occupied"} << kBackup << ".*bytes copied in.*" << "ok";
    }
    void copyRefused()
    {
        QFETCH(QStringList, extra);
        QFETCH(QByteArray, command);
        QFETCH(QString, reply);
        QFETCH(QString, result);
        SwitchSim sim(scenario(extra));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        const QByteArray said = terminal.type(command);
        QVERIFY2(matches(reply, said), said.constData());
        QCOMPARE(sim.events("copy").value(0).value("result").toString(), result);
    }

    // A copy that never starts says nothing after the command, moves nothing, and keeps the
    // switch's copy engine busy for every other session.
    void copyNeverStarts()
    {
        SwitchSim sim(scenario({"--copy-fault", "config:never-starts"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        const qsizetype before = logMark();
        terminal.write(kBackup);
        QVERIFY(sim.waitForEvents("copy"));
        SimTerminal other;
        QVERIFY(other.logIn(sim));
        QVERIFY(other.type(kDownload).contains("occupied by another user"));
        QCOMPARE(terminal.until([](const QByteArray &) { return false; }, 500), kBackup + "\n");
        QVERIFY(!m_tftpd.lines().mid(before).join("\n").contains("conf_file.txt"));
        QCOMPARE(sim.events("copy").value(0).value("result").toString(), QStringLiteral("never-starts"));
    }

    // The transfer completes at the server, but the switch never prints the completion line.
    void copyNeverEnds()
    {
        SwitchSim sim(scenario({"--copy-fault", "never-ends"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        terminal.write(kDownload);
        QVERIFY(sim.waitForEvents("copy"));
        QCOMPARE(sim.slotImage(2), m_interim);
        const QByteArray said = terminal.until([](const QByteArray &) { return false; }, 500);
        QVERIFY2(said.endsWith("Loading sim_ge-interim.img from 127.0.0.1:") || said.endsWith('!'), said.constData());
    }

    // The client dies once part of the file has moved: the server sees the transfer broken
    // off, the switch prints its failure line, and no slot changes.
    void copyBrokenOff_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("write");
        QTest::newRow("configuration upload") << kBackup << "conf_file.txt" << true;
        QTest::newRow("image download") << kDownload << "sim_ge-interim.img" << false;
    }
    void copyBrokenOff()
    {
        QFETCH(QByteArray, command);
        QFETCH(QString, file);
        QFETCH(bool, write);
        SwitchSim sim(scenario({"--copy-fault", "abort-after=520"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        const qsizetype before = logMark();
        const QByteArray said = terminal.type(command);
        QVERIFY2(said.endsWith("\r\n" + kFailure + "\r\n\r\n" + kExec), said.constData());
        const QString end = transferEnd(before, file, write);
        QVERIFY2(end.startsWith("aborted - "), qPrintable(end));
        const qint64 moved = end.section(u' ', 2, 2).toLongLong();
        QVERIFY2(moved >= 512 && moved < (write ? sim.sent(file).size() : m_interim.size()), qPrintable(end));
        QVERIFY(sim.slotImage(2).isEmpty());
        QCOMPARE(sim.events("copy").value(0).value("error").toString(), QStringLiteral("the transfer was broken off"));
    }

    // The connection closes once the transfer has started; the switch finishes the copy.
    void telnetDroppedDuringCopy()
    {
        SwitchSim sim(scenario({"--copy-fault", "drop-telnet"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        terminal.write(kDownload);
        QVERIFY(terminal.waitForClosed());
        QVERIFY(sim.waitForEvents("copy"));
        QCOMPARE(sim.slotImage(2), m_interim);
    }

    void completionWithCapitalBytes()
    {
        SwitchSim sim(scenario({"--copy-fault", "capital-bytes"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        const QByteArray said = terminal.type(kDownload);
        QVERIFY2(said.contains("\r\nCopy: 40000 Bytes copied in ") && !said.contains("bytes copied in"), said.constData());
    }

    // Started on the intermediate image with its parameters saved, the switch fetches the
    // final image, reports its steps, waits for the acknowledgement and resets into the final
    // version, from the slot it ran.
    void selfUpgrade_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("steps");
        QTest::addColumn<bool>("dhcp");
        QTest::newRow("standalone") << QStringList{"--contact", "0"} << 7 << false;
        QTest::newRow("standalone, DHCP after reset") << QStringList{"--contact", "0,"} << 7 << true;
        QTest::newRow("stack of two") << QStringList{"--stack-master", "1", "--contact", "2,"} << 15 << true;
        QTest::newRow("stack counted as one unit") << QStringList{"--stack-master", "1", "--contact", "1"} << 7 << false;
    }
    void selfUpgrade()
    {
        QFETCH(QStringList, extra);
        QFETCH(int, steps);
        QFETCH(bool, dhcp);
        SwitchSim sim(scenario(extra + QStringList{"--sw-version", "3.0.0.45-interim", "--active-image", "2", "--next-image", "2",
                                                   "--snmp-open", "--location", "127.0.0.1"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        QVERIFY(sim.waitForEvents("step", steps + 1));
        const QStringList texts = stepTexts(sim);
        QCOMPARE(texts.size(), steps + 1);
        for (int i = 0; i < steps; ++i)
            QVERIFY2(texts[i].startsWith(QStringLiteral("Step %1: ").arg(i + 1)) && !texts[i].contains("last "), qPrintable(texts[i]));
        QVERIFY(texts.last().contains("last ") && !texts.last().contains("Step "));
        QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysContact), texts.last());
        QCOMPARE(sim.events("self-upgrade").value(0).value("dhcp").toBool(), dhcp);
        QCOMPARE(sim.slotImage(2), m_final);

        // Still running the intermediate image until acknowledged.
        QCOMPARE(sim.events("boot").size(), 1);
        ackLastStep(sim);
        QVERIFY(sim.waitForEvents("boot", 2));
        QCOMPARE(sim.events("boot").last().value("version").toString(), QStringLiteral("3.0.0.46"));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        QVERIFY(terminal.type("show version\n").contains(" 3.0.0.46 "));
        QVERIFY(terminal.type("show bootvar\n").contains("image-2 : active, selected for next boot"));
    }

    // Paced by its reader: each report stays until sysContact has been read twice, however
    // long the reader takes, and the interval no longer counts.
    void selfUpgradePacedByReads()
    {
        SwitchSim sim(scenario({"--sw-version", "3.0.0.45-interim", "--snmp-open", "--location", "127.0.0.1", "--contact", "0",
                                "--step-reads", "2", "--step-interval", "1"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        QVERIFY(sim.waitForEvents("copy"));
        QStringList seen;
        for (int read = 0; read < 2 * 9 && seen.size() < 9; ++read) {
            const QString status = SimSnmp::get(sim, SimSnmp::kSysContact);
            if (seen.isEmpty() || seen.last() != status)
                seen << status;
        }
        QCOMPARE(seen.size(), 9);
        QCOMPARE(seen.first(), QString("0"));
        for (int step = 1; step <= 7; ++step)
            QVERIFY2(seen[step].startsWith(QString("Step %1: ").arg(step)), qPrintable(seen[step]));
        QVERIFY(seen.last().contains("last "));
        QCOMPARE(stepTexts(sim).size(), 8);
    }

    // The wizard's way through the switch, from the old version to the final one: settings,
    // backup, image download, save, boot selection, reload; then the intermediate image
    // works on by itself.
    void theWholeWay()
    {
        SwitchSim sim(scenario());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        QVERIFY(terminal.type(kBackup).contains("bytes copied in"));
        for (const QByteArray &text : Bytes{"configure\n", "snmp-server community vemtal su\n", "logging console critical\n", "exit\n",
                                            "configure\n", "snmp-server contact 0,\n", "exit\n"})
            terminal.type(text);
        QVERIFY(terminal.type(kDownload).contains("bytes copied in"));
        for (const QByteArray &text : Bytes{"configure\n", "snmp-server location 127.0.0.1\n", "snmp-server community vemtal su  \n",
                                            "exit\n", "copy run star\n", "boot system image-2\n", "boot system image-2\n"})
            terminal.type(text);
        for (const QByteArray &text : Bytes{"reload\n", "Y\n", "Y\n"})
            terminal.write(text);
        QVERIFY(terminal.waitForClosed());

        QVERIFY(sim.waitForEvents("boot", 2));
        QCOMPARE(sim.events("boot").last().value("version").toString(), QStringLiteral("3.0.0.45-interim"));
        QVERIFY(sim.waitForEvents("step", 8));
        QCOMPARE(sim.events("self-upgrade").value(0).value("units").toInt(), 0);
        ackLastStep(sim);
        QVERIFY(sim.waitForEvents("boot", 3));
        QCOMPARE(sim.events("boot").last(), (QJsonObject{{"event", "boot"}, {"slot", 2}, {"version", "3.0.0.46"}}));
        QCOMPARE(sim.slotImage(2), m_final);
    }

    // The self-upgrade's faults, and what it reports when it cannot get the final image.
    void selfUpgradeFaults_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("contact");

        const QStringList all{"Step 1: Final image sim_ge-746.img received", "Step 2: Checking the final image",
                              "Step 3: Erasing the image area", "Step 4: Writing the final image", "Step 5: Verifying the written image",
                              "Step 6: Selecting the final image for boot", "Step 7: Restoring the configuration",
                              "Upgrade complete: last step, the switch resets when acknowledged"};
        QTest::newRow("never reports") << QStringList{"--self-upgrade-fault", "never-reports"} << QStringList{} << "0";
        QTest::newRow("stops reporting half-way") << QStringList{"--self-upgrade-fault", "stops-after=3"} << all.mid(0, 3) << all[2];
        QTest::newRow("SNMP silent after the reset") << QStringList{"--self-upgrade-fault", "snmp-silent"} << all << "timeout";
        QTest::newRow("final image not on the server")
            << QStringList{"--final-image", "missing.img"} << QStringList{"Step 1: Could not fetch missing.img from 127.0.0.1, upgrade stopped"}
            << "Step 1: Could not fetch missing.img from 127.0.0.1, upgrade stopped";
        QTest::newRow("final image not the payload's")
            << QStringList{"--final-image", "sim_fe-interim.img"} << QStringList{"Step 1: sim_fe-interim.img is not a valid image, upgrade stopped"}
            << "Step 1: sim_fe-interim.img is not a valid image, upgrade stopped";
        QTest::newRow("PC outside the loopback network")
            << QStringList{"--location", "192.0.2.5"} << QStringList{"Step 1: Could not fetch sim_ge-746.img from 192.0.2.5, upgrade stopped"}
            << "Step 1: Could not fetch sim_ge-746.img from 192.0.2.5, upgrade stopped";
    }
    void selfUpgradeFaults()
    {
        QFETCH(QStringList, extra);
        QFETCH(QStringList, texts);
        QFETCH(QString, contact);
        SwitchSim sim(scenario(QStringList{"--sw-version", "3.0.0.45-interim", "--snmp-open", "--contact", "0", "--location", "127.0.0.1"} + extra));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        if (!texts.isEmpty())
            QVERIFY(sim.waitForEvents("step", texts.size()));
        // Nothing more comes within many step intervals.
        QVERIFY(!sim.waitForEvents("step", texts.size() + 1, 500));
        QCOMPARE(stepTexts(sim), texts);
        QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysContact), contact);
        QVERIFY(sim.events("reset").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSimTransfers)
#include "tst_simtransfers.moc"
