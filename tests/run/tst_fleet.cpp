#include "payload/ExeStrm.h"

#include "SwitchSim.h"
#include "TestFiles.h"
#include "TestPaths.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>

#include <csignal>

namespace {

// The keys of a log-in; a switch that takes them answers with its prompt and is asked for its
// stack.
const QByteArray kLoginKeys = "admin\tadmin\r\x1alcli\radmin\radmin\r\n\n";
const QByteArray kLogin = kLoginKeys + "show stack\n";
const QByteArray kBackup = "copy  running-config tftp://127.0.0.1/conf_file.txt \r";
const QByteArray kEnableSnmp = "configure\nsnmp-server community vemtal su\nlogging console critical\nexit\n";
const QByteArray kDownload = "copy tftp://127.0.0.1/sim_ge-interim.img image\n";
const QByteArray kLocation = "configure\nsnmp-server location 127.0.0.1\nsnmp-server community vemtal su  \nexit\n"
                             "show ip interface \n"
                             "configure\ninterface vlan 100\nip address 192.0.2.10 /24 \nexit\n"
                             "ip default-gateway  192.0.2.1 \nexit\n"
                             "copy run star\n";
const QByteArray kInventory = "show system\nshow version\nshow bootvar\n";
const QByteArray kStackInventory = "show system unit 2\nshow version unit 2\nshow bootvar unit 2\n";
// Everything one run sends a standalone switch on the full path, and a stack of two whose
// master is unit 2 with DHCP after the reset: its log-ins, inventories, copies, settings,
// resets, and the reading of the final version.
const QByteArray kStandaloneRun = kLogin + kInventory + kBackup + kEnableSnmp + "configure\nsnmp-server contact 0\nexit\n"
    + kDownload + kLocation + "boot system image-2\nboot system image-2\nreload\nY\nY\n" + kLogin + kLogin + kInventory
    + kLogin + "show version\nshow bootvar\n";
const QByteArray kStackRun = kLogin + kStackInventory + kBackup + kEnableSnmp
    + "show version \nconfigure\nsnmp-server contact 2,\nexit\n" + kDownload + kLocation
    + "boot system image-2\nboot system image-2\nstack reload\n" + kLogin + kLogin + kStackInventory + kLogin
    + "show version unit 2\nshow bootvar unit 2\nshow version \n";
const QString kFinalVersion = "3.0.0.46";
const QString kFinalImage = "sim_ge-746.img";
const QStringList kLineTypes{"step", "progress", "transfer", "status", "message", "result"};
const QStringList kSummaryKeys{"switch",        "outcome",  "exitStatus", "step",   "reason",     "versionBefore",
                               "versionAfter", "durationMs", "changed",  "backup", "recordPath", "reportPath",
                               "logPath"};
// Wall-clock guard against a hung program; never a measure of speed.
constexpr int kHangGuardMs = 600000;

QString sha256Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// What a finished run of the program left.
struct Ran
{
    int exitStatus = -1;
    QByteArray err;
    QList<QJsonObject> lines;

    // Each switch's lines, by address.
    QList<QJsonObject> linesOf(const QString &address) const
    {
        QList<QJsonObject> of;
        for (const QJsonObject &line : lines) {
            if (line["switch"] == address)
                of << line;
        }
        return of;
    }
    QJsonObject resultOf(const QString &address) const
    {
        for (const QJsonObject &line : lines) {
            if (line["type"] == "result" && line["switch"] == address)
                return line;
        }
        return {};
    }
    QJsonObject summary() const { return lines.isEmpty() ? QJsonObject() : lines.last(); }
    // The summary's entry of the switch.
    QJsonObject summaryOf(const QString &address) const
    {
        for (const QJsonValue &entry : summary()["switches"].toArray()) {
            if (entry["switch"] == address)
                return entry.toObject();
        }
        return {};
    }
};

} // namespace

// tessaro-run with several switches at once: simulated switches on their own loopback
// addresses (127.0.0.80 and up) with their real ports, one TFTP server on UDP 69 for all. Each
// switch's run is the very run one switch gets: its own transcript, backup, images and
// evidence; one switch failing leaves the others whole; the summary tells each one's end.
class TestFleet : public QObject
{
    Q_OBJECT

    QString m_program = binPath("tessaro-run");
    QString m_twin = binPath("tessaro-run-quick");
    std::unique_ptr<QTemporaryDir> m_temp;

    static QStringList switchArguments(const QStringList &extra)
    {
        return QStringList{"--telnet-port", "23", "--snmp-port", "161", "--payload", binPath("tessaro-run"),
                           "--copy-start-delay", "200", "--copy-tick", "100", "--reset-time", "1000", "--step-reads", "2"}
            + extra;
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", m_temp->path());
        environment.insert("TESSARO_PASSWORD", "admin");
        return environment;
    }

    QByteArray payloadFile(const QString &name) const
    {
        return TEXEAppendixFileSystem(m_program).OpenFile(name, TExeAppendixStream::AccessMode::Read)->data();
    }

    // Runs program to its end; onLine sees each JSON line as it arrives, with the process.
    Ran run(const QString &program, const QStringList &arguments,
            const std::function<void(QProcess &, const QJsonObject &)> &onLine = {})
    {
        Ran ran;
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setStandardInputFile(QProcess::nullDevice());
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
            while (process.canReadLine()) {
                const QByteArray line = process.readLine();
                QJsonParseError error;
                const QJsonDocument document = QJsonDocument::fromJson(line, &error);
                if (error.error != QJsonParseError::NoError || !document.isObject()) {
                    QTest::qFail(qPrintable("not a JSON object: " + QString::fromUtf8(line)), __FILE__, __LINE__);
                    continue;
                }
                ran.lines << document.object();
                if (onLine)
                    onLine(process, document.object());
            }
        });
        process.start(program, arguments);
        if (!process.waitForStarted()) {
            QTest::qFail(qPrintable(process.errorString()), __FILE__, __LINE__);
            return ran;
        }
        if (!process.waitForFinished(kHangGuardMs))
            QTest::qFail("the program did not end", __FILE__, __LINE__);
        ran.err = process.readAllStandardError();
        ran.exitStatus = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return ran;
    }

    // Every line names one of the switches and has a known type; each switch has one result;
    // the last line is the summary, the same object as the summary file.
    static void checkLines(const Ran &ran, const QStringList &addresses, const QString &summaryFile)
    {
        QVERIFY(!ran.lines.isEmpty());
        for (qsizetype i = 0; i + 1 < ran.lines.size(); ++i) {
            const QJsonObject &line = ran.lines[i];
            const QString text = QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact));
            QVERIFY2(kLineTypes.contains(line["type"].toString()), qPrintable(text));
            QVERIFY2(addresses.contains(line["switch"].toString()), qPrintable(text));
        }
        for (const QString &address : addresses) {
            const auto results = std::count_if(ran.lines.begin(), ran.lines.end(), [&](const QJsonObject &line) {
                return line["type"] == "result" && line["switch"] == address;
            });
            QCOMPARE(results, 1);
        }
        const QJsonObject summary = ran.summary();
        QCOMPARE(summary["type"].toString(), QString("summary"));
        QVERIFY(QDateTime::fromString(summary["time"].toString(), Qt::ISODateWithMs).isValid());
        QCOMPARE(summary["exitStatus"].toInt(), ran.exitStatus);
        QCOMPARE(summary["summaryFile"].toString(), summaryFile);
        QCOMPARE(QJsonDocument::fromJson(readFile(summaryFile)).object(), summary);
        const QJsonArray switches = summary["switches"].toArray();
        QCOMPARE(switches.size(), addresses.size());
        for (qsizetype i = 0; i < addresses.size(); ++i) {
            const QJsonObject entry = switches[i].toObject();
            QCOMPARE(entry["switch"].toString(), addresses[i]);
            QCOMPARE(QStringList(entry.keys()), [] { QStringList keys = kSummaryKeys; keys.sort(); return keys; }());
            const QJsonObject result = ran.resultOf(addresses[i]);
            for (const char *key : {"outcome", "exitStatus", "step", "reason", "versionBefore", "versionAfter",
                                    "backup", "recordPath", "reportPath", "logPath"})
                QCOMPARE(entry[key], result[key]);
        }
    }

    // Each line of the display for people before the summary names its switch, but for the
    // program's heading and its TFTP server's line; nothing is redrawn in place.
    static void checkDisplay(const Ran &ran, const QStringList &addresses)
    {
        const QString display = QString::fromUtf8(ran.err);
        QVERIFY(!display.contains('\r'));
        const QStringList lines = display.left(display.indexOf("\nSummary of ")).split('\n');
        QVERIFY2(lines.size() > 2 && lines[0].startsWith("tessaro-run ") && lines[1].startsWith("TFTP server on UDP 69"),
                 qPrintable(display));
        for (const QString &line : lines.mid(2)) {
            const QString prefix = line.left(17);
            QVERIFY2(prefix.endsWith("  ") && addresses.contains(prefix.trimmed()), qPrintable(line));
        }
    }

    QString writeInventory(const QString &name, const QByteArray &rows) const
    {
        const QString path = m_temp->filePath(name);
        const bool written = writeFile(path, "address,user,password_file,backup,after_reset\n" + rows);
        return written ? path : QString();
    }

private slots:
    void init()
    {
        m_temp = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_temp->path()).mkpath("cfg"));
        QVERIFY(writeFile(m_temp->filePath("admin.pass"), "admin\n"));
    }

    // Refused before anything starts, with the reason and status 2: a switch is never reached.
    void refused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("rows");
        QTest::addColumn<QStringList>("says");
        QTest::newRow("bad rows of the inventory")
            << QStringList{"--inventory", "site.csv"}
            << QByteArray("127.0.0.80,admin,admin.pass,cfg/a.cfg,default\n# spare\n127.0.0.80,admin,admin.pass,cfg/b.cfg,"
                          "static\n127.0.0.81,admin,nowhere.pass,cfg/a.cfg,dhcp\n")
            << QStringList{"cannot be used; no switch was reached:\n",
                           "\n  line 4: after_reset is default or dhcp, not \"static\".\n",
                           "\n  line 4: the address 127.0.0.80 is on line 2 already.\n",
                           "\n  line 5: The password file ", "\n  line 5: the backup "};
        QTest::newRow("more than 32 at once")
            << QStringList{"--inventory", "site.csv", "--parallel", "33"} << QByteArray()
            << QStringList{"--parallel 33: at most 32 switches run at once. The TFTP server keeps at most 64 transfers "
                           "open, and a switch may hold two of them at once"};
        QTest::newRow("an inventory with a user") << QStringList{"--inventory", "site.csv", "--user", "admin"} << QByteArray()
                                                  << QStringList{"--user does not go with --inventory"};
        QTest::newRow("a switch twice")
            << QStringList{"--switch", "127.0.0.80", "--switch", "127.0.0.80", "--user", "admin", "--backup", "cfg"}
            << QByteArray() << QStringList{"--switch 127.0.0.80 is given twice"};
        QTest::newRow("several switches and a backup file")
            << QStringList{"--switch", "127.0.0.80", "--switch", "127.0.0.81", "--user", "admin", "--backup", "cfg/a.cfg"}
            << QByteArray() << QStringList{"--backup names an existing folder"};
    }
    void refused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, rows);
        QFETCH(QStringList, says);
        if (!rows.isEmpty())
            QVERIFY(!writeInventory("site.csv", rows).isEmpty());
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(m_temp->path());
        process.start(m_program, arguments);
        QVERIFY(process.waitForFinished(kHangGuardMs));
        QCOMPARE(process.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        for (const QString &text : says)
            QVERIFY2(err.contains(text), qPrintable(err));
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }

    // --help shows the inventory's form with an example, the limit of --parallel and how the
    // statuses of several switches make the program's.
    void help()
    {
        QProcess process;
        process.start(m_program, {"--help"});
        QVERIFY(process.waitForFinished(kHangGuardMs));
        QCOMPARE(process.exitCode(), 0);
        const QString help = QString::fromLocal8Bit(process.readAllStandardOutput());
        for (const char *text : {"--inventory FILE", "--parallel N", "\n    address,user,password_file,backup,after_reset\n",
                                 "\n    192.0.2.10,admin,/etc/tessaro/site-a.pass,backups/sw10.cfg,default\n",
                                 "at most 32", "tessaro-run.summary.json", "in this order: 130, 4, 5, 3."})
            QVERIFY2(help.contains(text), text);
    }

    // Four switches from one inventory, all at once: two standalone, a stack of two with DHCP
    // after the reset, and one whose password the inventory has wrong. Three reach the final
    // version, each exactly as a run of its own would take it there; the fourth fails with
    // the procedure's message, and the status is its 3.
    void fourSwitchesFromOneInventory()
    {
        const QStringList addresses{"127.0.0.80", "127.0.0.81", "127.0.0.82", "127.0.0.83"};
        SwitchSim first(switchArguments({}), addresses[0]);
        SwitchSim second(switchArguments({}), addresses[1]);
        SwitchSim stack(switchArguments({"--stack-master", "2", "--stack-units", "2"}), addresses[2]);
        SwitchSim locked(switchArguments({"--password", "Zq7-other"}), addresses[3]);
        const QList<SwitchSim *> sims{&first, &second, &stack, &locked};
        for (SwitchSim *sim : sims)
            QVERIFY2(sim->start(), qPrintable(sim->errorString()));
        const QString inventory = writeInventory("site.csv", "# the first floor\n"
                                                             "127.0.0.80,admin,admin.pass,cfg/sw80.txt,default\n"
                                                             "127.0.0.81,admin,admin.pass,cfg/sw81.txt,default\n\n"
                                                             "127.0.0.82,admin,admin.pass,cfg/stack82.txt,dhcp\n"
                                                             "127.0.0.83,admin,admin.pass,cfg/sw83.txt,default\n");
        QVERIFY(!inventory.isEmpty());

        const Ran ran = run(m_twin, {"--inventory", inventory, "--json"});
        QCOMPARE(ran.exitStatus, 3);
        checkLines(ran, addresses, m_temp->filePath("site.summary.json"));
        checkDisplay(ran, addresses);

        for (int i = 0; i < 3; ++i) {
            const SwitchSim &sim = *sims[i];
            const QJsonObject result = ran.resultOf(sim.address());
            QCOMPARE(result["outcome"].toString(), QString("done"));
            QCOMPARE(result["exitStatus"].toInt(), 0);
            QCOMPARE(result["versionAfter"].toString(), kFinalVersion);
            QCOMPARE(sim.transcript(), i == 2 ? kStackRun : kStandaloneRun);
            const QString backup = result["backup"].toObject()["path"].toString();
            QCOMPARE(readFile(backup), sim.sent("conf_file.txt"));
            QCOMPARE(result["backup"].toObject()["sha256"].toString(), sha256Hex(sim.sent("conf_file.txt")));
            const QList<QJsonObject> copies = sim.events("copy");
            QCOMPARE(copies.size(), 3);
            QCOMPARE(copies[1]["file"].toString(), QString("sim_ge-interim.img"));
            QCOMPARE(copies[1]["result"].toString(), QString("ok"));
            QVERIFY(sim.waitForEvents("boot", 3));
            QCOMPARE(sim.events("boot").last(), (QJsonObject{{"event", "boot"}, {"slot", 2}, {"version", kFinalVersion}}));
            QVERIFY(sim.slotImage(2) == payloadFile(kFinalImage));
            const QString stem = QFileInfo(backup).absolutePath() + "/Quillo_" + sim.address();
            QCOMPARE(result["recordPath"].toString(), stem + ".result.json");
            QCOMPARE(result["reportPath"].toString(), stem + ".report.html");
            QCOMPARE(result["logPath"].toString(), stem + ".log");
            const QJsonObject record = QJsonDocument::fromJson(readFile(stem + ".result.json")).object();
            QCOMPARE(record["switchAddress"].toString(), sim.address());
            QCOMPARE(record["backups"], result["backups"]);
            QVERIFY(readFile(stem + ".log").contains("----Tessaro competed succesfully----"));
            const QJsonObject entry = ran.summaryOf(sim.address());
            QVERIFY(entry["changed"].toBool());
            QVERIFY(entry["durationMs"].toInteger() > 0);
        }
        const QString stackRecordPath = ran.resultOf(addresses[2])["recordPath"].toString();
        const QJsonObject stackRecord = QJsonDocument::fromJson(readFile(stackRecordPath)).object();
        QCOMPARE(stackRecord["units"].toInt(), 2);
        QVERIFY(stackRecord["dhcpAfterReset"].toBool());
        QCOMPARE(stack.events("self-upgrade").value(0),
                 (QJsonObject{{"event", "self-upgrade"}, {"units", 2}, {"dhcp", true}, {"server", "127.0.0.1"}}));

        const QString notFound = "Seems that Tessaro utility did not find device 127.0.0.83\nPleasae verify that this is "
                                 "the correct IP address of the device\nTessaro will now terminate.";
        const QJsonObject failed = ran.resultOf(addresses[3]);
        QCOMPARE(failed["outcome"].toString(), QString("failed"));
        QCOMPARE(failed["exitStatus"].toInt(), 3);
        QCOMPARE(failed["step"].toString(), QString("Taking the inventory"));
        QCOMPARE(failed["reason"].toString(), notFound);
        QVERIFY(failed["backup"].isNull());
        QVERIFY(!QFile::exists(m_temp->filePath("cfg/sw83.txt")));
        QVERIFY(QFileInfo(failed["logPath"].toString()).size() > 0);
        const QJsonObject entry = ran.summaryOf(addresses[3]);
        QVERIFY(!entry["changed"].toBool());
        // The log-in's keys and no prompt: nothing more.
        QCOMPARE(locked.transcript(), kLoginKeys);

        // The table at the end: each switch with its outcome and versions.
        const QString display = QString::fromUtf8(ran.err);
        for (const QString row : {"127\\.0\\.0\\.8[012] +done +3\\.0\\.0\\.43 +3\\.0\\.0\\.46 +\\d",
                                   "127\\.0\\.0\\.83 +failed +- +- +\\d"}) {
            const QRegularExpression expected("\n  " + row);
            QCOMPARE(int(display.count(expected)), row.contains("8[012]") ? 3 : 1);
        }
        QVERIFY2(display.endsWith("summary: " + m_temp->filePath("site.summary.json") + "\nexit status 3\n"),
                 qPrintable(display.right(400)));
    }

    // Ctrl-C while the first of two switches fetches its image, one at a time: the second is
    // never started and never reached, the first stops with its state told and its log saved;
    // status 130. Repeated --switch: the backups go to <address>.cfg in the --backup folder,
    // the summary beside them.
    void interruptWithASwitchStillWaiting()
    {
        const QStringList addresses{"127.0.0.84", "127.0.0.85"};
        // The switch holds its copy command a while before its transfer starts: the Ctrl-C
        // lands in the download however slow the machine.
        SwitchSim running(switchArguments({"--copy-start-delay", "1500"}), addresses[0]);
        SwitchSim waiting(switchArguments({}), addresses[1]);
        QVERIFY2(running.start(), qPrintable(running.errorString()));
        QVERIFY2(waiting.start(), qPrintable(waiting.errorString()));
        const QString folder = m_temp->filePath("cfg");
        bool interrupted = false;
        const Ran ran = run(m_twin,
                            {"--switch", addresses[0], "--switch", addresses[1], "--user", "admin", "--backup", folder,
                             "--parallel", "1", "--json"},
                            [&](QProcess &process, const QJsonObject &line) {
                                if (interrupted || line["type"] != "step" || line["text"] != "Updating Image to device")
                                    return;
                                const QDeadlineTimer guard(kHangGuardMs);
                                while (!running.transcript().contains("copy tftp://") && !guard.hasExpired())
                                    QThread::msleep(5);
                                ::kill(pid_t(process.processId()), SIGINT);
                                interrupted = true;
                            });
        QVERIFY(interrupted);
        QCOMPARE(ran.exitStatus, 130);
        checkLines(ran, addresses, folder + "/tessaro-run.summary.json");

        const QJsonObject stopped = ran.resultOf(addresses[0]);
        QCOMPARE(stopped["outcome"].toString(), QString("interrupted"));
        QCOMPARE(stopped["step"].toString(), QString("Updating Image to device"));
        QCOMPARE(stopped["backup"].toObject()["path"].toString(), folder + "/127.0.0.84.cfg");
        QCOMPARE(readFile(folder + "/127.0.0.84.cfg"), running.sent("conf_file.txt"));
        QVERIFY(readFile(stopped["logPath"].toString()).contains("Step3 : Starting download image process...."));
        QVERIFY(ran.summaryOf(addresses[0])["changed"].toBool());

        const QJsonObject never = ran.resultOf(addresses[1]);
        QCOMPARE(never["outcome"].toString(), QString("interrupted"));
        QCOMPARE(never["exitStatus"].toInt(), 130);
        QVERIFY2(never["reason"].toString().startsWith("Never started"), qPrintable(never["reason"].toString()));
        QVERIFY(!ran.summaryOf(addresses[1])["changed"].toBool());
        QCOMPARE(ran.summaryOf(addresses[1])["durationMs"].toInteger(), 0);
        QVERIFY(waiting.transcript().isEmpty());
        QVERIFY(!QFile::exists(folder + "/127.0.0.85.cfg"));

        const QString display = QString::fromUtf8(ran.err);
        QVERIFY2(display.contains("WARNING: Interrupted: no further switch starts. Never started, nothing was sent to "
                                  "them: 127.0.0.85\n")
                     && display.contains("WARNING: 127.0.0.84 was stopped mid-write at the step \"Updating Image to "
                                         "device\": Stopped while the switch was writing the intermediate image"),
                 qPrintable(display));
    }
};

QTEST_GUILESS_MAIN(TestFleet)
#include "tst_fleet.moc"
