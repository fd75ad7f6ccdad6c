#include "payload/ExeStrm.h"

#include "SwitchSim.h"
#include "TestFiles.h"
#include "TestPaths.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <functional>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kLogin = "admin\tadmin\r\x1alcli\radmin\radmin\r\n\nshow stack\n";
const QByteArray kInventory = "show system\nshow version\nshow bootvar\n";
const QString kFinalVersion = "3.0.0.46";
const QString kInterimVersion = "3.0.0.45-interim";
// A password the switch holds that nothing else in a run would spell.
const QString kSecret = "Zq7-secret pw!";
const QStringList kTypes{"step", "progress", "transfer", "status", "message", "result"};
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
    QByteArray out;
    QByteArray err;
    // Standard output as JSON lines, with --json.
    QList<QJsonObject> lines;

    QJsonObject result() const { return lines.isEmpty() ? QJsonObject() : lines.last(); }
    QStringList messages() const
    {
        QStringList texts;
        for (const QJsonObject &line : lines) {
            if (line["type"] == "message")
                texts << line["text"].toString();
        }
        return texts;
    }
};

} // namespace

// tessaro-run from the outside, as an operator or a script starts it: its exit status, its
// JSON lines and its display, and the switch's side: the simulated switch on its real ports
// on 127.0.0.40 and up, the program's TFTP server on UDP 69. The quick cases run the program
// itself; whole upgrades run its twin on the tests' clock, the same entry with shorter real
// sleeps.
class TestRunCli : public QObject
{
    Q_OBJECT

    QString m_program = binPath("tessaro-run");
    QString m_twin = binPath("tessaro-run-quick");
    QTemporaryDir m_base;
    std::unique_ptr<QTemporaryDir> m_temp;
    int m_address = 40;
    QString m_backup;

    QStringList switchArguments(const QStringList &extra) const
    {
        return QStringList{"--telnet-port", "23", "--snmp-port", "161", "--payload", m_program, "--copy-start-delay", "200",
                           "--copy-tick", "100", "--reset-time", "1000", "--step-reads", "2"}
            + extra;
    }

    QString nextAddress() { return QString("127.0.0.%1").arg(m_address++); }

    QStringList runArguments(const SwitchSim &sim, const QStringList &extra = {}) const
    {
        return QStringList{"--switch", sim.address(), "--user", "admin", "--backup", m_backup, "--json"} + extra;
    }

    QProcessEnvironment environment(const QString &password = "admin") const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", m_temp->path());
        environment.remove("TESSARO_PASSWORD");
        if (!password.isNull())
            environment.insert("TESSARO_PASSWORD", password);
        return environment;
    }

    QString besideBackup(const QString &name) const { return QFileInfo(m_backup).absolutePath() + "/" + name; }

    // Runs program to its end. onLine sees each JSON line as it arrives, with the process.
    Ran run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
            const std::function<void(QProcess &, const QJsonObject &)> &onLine = {},
            const std::function<void(QProcess &)> &onStarted = {})
    {
        Ran ran;
        QProcess process;
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
            while (process.canReadLine()) {
                const QByteArray line = process.readLine();
                ran.out += line;
                QJsonParseError error;
                const QJsonDocument document = QJsonDocument::fromJson(line, &error);
                ran.lines << document.object();
                if (!arguments.contains("--json"))
                    continue;
                if (error.error != QJsonParseError::NoError || !document.isObject())
                    QTest::qFail(qPrintable("not a JSON object: " + QString::fromUtf8(line)), __FILE__, __LINE__);
                else if (onLine)
                    onLine(process, document.object());
            }
        });
        process.start(program, arguments);
        if (!process.waitForStarted()) {
            QTest::qFail(qPrintable(process.errorString()), __FILE__, __LINE__);
            return ran;
        }
        if (onStarted)
            onStarted(process);
        if (!process.waitForFinished(kHangGuardMs))
            QTest::qFail("the program did not end", __FILE__, __LINE__);
        ran.out += process.readAllStandardOutput();
        ran.err = process.readAllStandardError();
        ran.exitStatus = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return ran;
    }

    // Every line of --json is an object with a known type and a UTC time; the last is the
    // result.
    static void checkJsonLines(const Ran &ran)
    {
        QVERIFY(!ran.lines.isEmpty());
        for (const QJsonObject &line : ran.lines) {
            const QString text = QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact));
            QVERIFY2(kTypes.contains(line["type"].toString()), qPrintable(text));
            const QString time = line["time"].toString();
            QVERIFY2(time.endsWith('Z') && QDateTime::fromString(time, Qt::ISODateWithMs).isValid(), qPrintable(text));
        }
        QCOMPARE(ran.result()["type"].toString(), QString("result"));
        for (qsizetype i = 0; i + 1 < ran.lines.size(); ++i)
            QVERIFY(ran.lines[i]["type"] != "result");
    }

    QByteArray payloadFile(const QString &name) const
    {
        return TEXEAppendixFileSystem(m_program).OpenFile(name, TExeAppendixStream::AccessMode::Read)->data();
    }

    // The result's account of the run's evidence: the record, the report and the log beside
    // the backup, the record agreeing with the result.
    void checkEvidence(const QJsonObject &result, const SwitchSim &sim, const QString &outcome) const
    {
        const QString stem = "Quillo_" + sim.address();
        QCOMPARE(result["recordPath"].toString(), besideBackup(stem + ".result.json"));
        QCOMPARE(result["reportPath"].toString(), besideBackup(stem + ".report.html"));
        QCOMPARE(result["logPath"].toString(), besideBackup(stem + ".log"));
        QVERIFY(QFileInfo(result["reportPath"].toString()).size() > 0);
        QVERIFY(QFileInfo(result["logPath"].toString()).size() > 0);
        const QJsonObject record = QJsonDocument::fromJson(readFile(result["recordPath"].toString())).object();
        QCOMPARE(record["result"].toObject()["outcome"].toString(), outcome);
        QCOMPARE(record["images"], result["images"]);
        QCOMPARE(record["backups"], result["backups"]);
    }

    // No file the run wrote, nor what it printed, holds the password.
    void checkPasswordKept(const Ran &ran) const
    {
        const QByteArray secret = kSecret.toUtf8();
        QVERIFY(!ran.out.contains(secret));
        QVERIFY(!ran.err.contains(secret));
        QDirIterator files(m_temp->path(), {"*.log", "*.json", "*.html"}, QDir::Files, QDirIterator::Subdirectories);
        int checked = 0;
        while (files.hasNext()) {
            const QString path = files.next();
            QVERIFY2(!readFile(path).contains(secret), qPrintable(path));
            ++checked;
        }
        QVERIFY(checked >= 4); // the log in both places, the record, the report
    }

private slots:
    void init()
    {
        m_temp = std::make_unique<QTemporaryDir>(m_base.filePath("run-XXXXXX"));
        QVERIFY(QDir().mkpath(m_temp->filePath("cfg")));
        m_backup = m_temp->filePath("cfg/sw.txt");
    }

    // The command line refused before anything starts, with the reason and status 2; the help
    // lists every exit status.
    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("says");
        const QStringList base{"--user", "admin", "--backup", "/tmp/sw.txt"};
        QTest::newRow("no switch") << base << "admin" << "--switch is required.";
        QTest::newRow("not an address") << QStringList{"--switch", "127.0.0"} + base << "admin"
                                        << "--switch 127.0.0 is not an IPv4 address";
        QTest::newRow("a password on the command line")
            << QStringList{"--switch", "127.0.0.40", "--password", "admin"} + base << "admin"
            << "There is no --password option: a password on the command line shows in the process list.";
        QTest::newRow("no password and no terminal") << QStringList{"--switch", "127.0.0.40"} + base << QString()
                                                     << "No password: give --password-file FILE or set";
        QTest::newRow("an unknown mode after the reset")
            << QStringList{"--switch", "127.0.0.40", "--after-reset", "static"} + base << "admin"
            << "--after-reset is \"default\" or \"dhcp\", not \"static\".";
        QTest::newRow("a backup folder that does not exist")
            << QStringList{"--switch", "127.0.0.40", "--user", "admin", "--backup", "/nonexistent/sw.txt"} << "admin"
            << "the folder /nonexistent does not exist.";
    }
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, password);
        QFETCH(QString, says);
        QProcess process;
        process.setProcessEnvironment(environment(password));
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(m_program, arguments);
        QVERIFY(process.waitForFinished(kHangGuardMs));
        QCOMPARE(process.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(err.contains(says), qPrintable(err));
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }

    void help()
    {
        QProcess process;
        process.start(m_program, {"--help"});
        QVERIFY(process.waitForFinished(kHangGuardMs));
        QCOMPARE(process.exitCode(), 0);
        const QString help = QString::fromLocal8Bit(process.readAllStandardOutput());
        for (const char *status : {"    0  ", "    1  ", "    2  ", "    3  ", "    4  ", "  130  "})
            QVERIFY2(help.contains("\n" + QString(status)), status);
        for (const char *option : {"--switch", "--user", "--backup", "--after-reset", "--tftp-address",
                                      "--password-file", "--json", "--plan", "TESSARO_PASSWORD"})
            QVERIFY2(help.contains(option), option);
    }

    // The program cannot prepare itself: status 1, the reason, and nothing sent to a switch.
    void cannotStart_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("says");
        QTest::newRow("UDP 69 held by another program") << "port taken" << "UDP port 69 is in use by another program";
        QTest::newRow("UDP 69 not permitted to this user")
            << "no privilege" << "Binding UDP port 69 is not permitted to this user. tessaro-run needs root, or once: "
                                 "sudo setcap cap_net_bind_service=+ep " + m_program;
        QTest::newRow("a working folder others can write to") << "open folder" << "so it is not safe to use.";
    }
    void cannotStart()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, says);
        QUdpSocket holder;
        QString program = m_program;
        QStringList arguments{"--switch", "127.0.0.39", "--user", "admin", "--backup", m_backup, "--json"};
        // Everything the unprivileged user needs lies in a folder of its own.
        QTemporaryDir open(QDir::tempPath() + "/runcli-XXXXXX");
        QProcessEnvironment environment = this->environment();
        if (obstacle == "port taken") {
            QVERIFY2(holder.bind(QHostAddress::AnyIPv4, 69), qPrintable(holder.errorString()));
        } else if (obstacle == "open folder") {
            QVERIFY(QDir().mkpath(m_temp->filePath("Quillo")) && ::chmod(qPrintable(m_temp->filePath("Quillo")), 0777) == 0);
        } else {
            bool ok = false;
            const int firstUnprivileged = readFile("/proc/sys/net/ipv4/ip_unprivileged_port_start").trimmed().toInt(&ok);
            if (ok && firstUnprivileged <= 69)
                QSKIP("every user may bind port 69 on this system");
            if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
                QSKIP("needs root and setpriv to run the program as another user");
            QVERIFY(::chmod(qPrintable(open.path()), 0777) == 0);
            environment.insert("TMPDIR", open.path());
            arguments[5] = open.filePath("sw.txt");
            program = "setpriv";
            arguments = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--inh-caps=-all", m_program}
                + arguments;
        }
        const Ran ran = run(program, arguments, environment);
        QCOMPARE(ran.exitStatus, 1);
        checkJsonLines(ran);
        QCOMPARE(ran.result()["outcome"].toString(), QString("failed"));
        QVERIFY2(ran.result()["reason"].toString().contains(says), qPrintable(ran.result()["reason"].toString()));
        QVERIFY(QString::fromUtf8(ran.err).contains("FAILED at the step \"Starting tessaro-run\":\n"));
    }

    // Whole upgrades through the twin, each to the final version: the backup is the switch's
    // own upload byte for byte, an earlier file there is kept, the result names versions,
    // digests and files as they are. The password comes from a file alone and shows nowhere.
    void wholeUpgrades_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<QString>("afterReset");
        QTest::addColumn<QString>("versionBefore");
        QTest::addColumn<QStringList>("served");
        QTest::addColumn<QString>("tftpAddress");
        QTest::addColumn<QJsonObject>("selfUpgrade");

        QTest::newRow("standalone, default address")
            << QStringList{} << "default" << "3.0.0.43" << QStringList{"sim_ge-interim.img", "sim_ge-746.img"} << QString()
            << QJsonObject{{"event", "self-upgrade"}, {"units", 0}, {"dhcp", false}, {"server", "127.0.0.1"}};
        // The copy commands name the PC's address the operator chose; the intermediate image
        // fetches the final one from the address the run writes into its location, the PC's
        // own on the telnet connection.
        QTest::newRow("a stack of two with DHCP, the TFTP address chosen")
            << QStringList{"--stack-master", "2", "--stack-units", "2"} << "dhcp" << "3.0.0.43"
            << QStringList{"sim_ge-interim.img", "sim_ge-746.img"} << "127.0.0.2"
            << QJsonObject{{"event", "self-upgrade"}, {"units", 2}, {"dhcp", true}, {"server", "127.0.0.1"}};
        QTest::newRow("short path: on the intermediate image")
            << QStringList{"--sw-version", kInterimVersion, "--active-image", "2", "--next-image", "2"} << "default"
            << kInterimVersion << QStringList{"sim_ge-746.img"} << QString()
            << QJsonObject{{"event", "self-upgrade"}, {"units", 0}, {"dhcp", false}, {"server", "127.0.0.1"}};
    }
    void wholeUpgrades()
    {
        QFETCH(QStringList, scenario);
        QFETCH(QString, afterReset);
        QFETCH(QString, versionBefore);
        QFETCH(QStringList, served);
        QFETCH(QString, tftpAddress);
        QFETCH(QJsonObject, selfUpgrade);
        const bool fullPath = served.size() == 2;
        SwitchSim sim(switchArguments(scenario + QStringList{"--password", kSecret}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString passwordFile = m_temp->filePath("password");
        QVERIFY(writeFile(passwordFile, kSecret.toUtf8() + "\n"));
        QVERIFY(writeFile(m_backup, "an earlier backup\n"));

        QStringList options{"--after-reset", afterReset, "--password-file", passwordFile};
        if (!tftpAddress.isEmpty())
            options << "--tftp-address" << tftpAddress;
        QByteArray commandLine;
        const Ran ran = run(m_twin, runArguments(sim, options),
                            environment(QString()), {}, [&](QProcess &process) {
                                // The kernel fills it in a moment after the start is reported.
                                const QString path = QString("/proc/%1/cmdline").arg(process.processId());
                                QTRY_VERIFY(!(commandLine = readFile(path)).isEmpty());
                            });
        QCOMPARE(ran.exitStatus, 0);
        checkJsonLines(ran);
        const QJsonObject result = ran.result();
        QCOMPARE(result["outcome"].toString(), QString("done"));
        QCOMPARE(result["versionBefore"].toString(), versionBefore);
        QCOMPARE(result["versionAfter"].toString(), kFinalVersion);
        const QString server = tftpAddress.isEmpty() ? QString("127.0.0.1") : tftpAddress;
        QCOMPARE(result["inventory"].toObject()["tftpAddress"].toString(), server);
        QCOMPARE(sim.transcript().contains(("copy tftp://" + server + "/sim_ge-interim.img image\n").toUtf8()), fullPath);
        // The switch's texts carry escape sequences (its prompt's "[K"); no display passes one on.
        QVERIFY(!ran.out.contains('\x1b'));
        QVERIFY(!ran.err.contains('\x1b'));

        if (fullPath) {
            QCOMPARE(readFile(m_backup), sim.sent("conf_file.txt"));
            const QJsonObject backup = result["backup"].toObject();
            QCOMPARE(backup["path"].toString(), m_backup);
            QCOMPARE(backup["size"].toInteger(), QFileInfo(m_backup).size());
            QCOMPARE(backup["sha256"].toString(), sha256Hex(readFile(m_backup)));
            const QString kept = besideBackup("sw.old1.txt");
            QCOMPARE(readFile(kept), QByteArray("an earlier backup\n"));
            QVERIFY(ran.messages().contains(
                QString("The existing file %1 is kept as %2; the new backup goes to %1.").arg(m_backup, kept)));
        } else {
            // No backup on this path: the earlier file stays as it is.
            QVERIFY(result["backup"].isNull());
            QCOMPARE(readFile(m_backup), QByteArray("an earlier backup\n"));
        }
        const QJsonArray images = result["images"].toArray();
        QCOMPARE(images.size(), served.size());
        for (qsizetype i = 0; i < served.size(); ++i) {
            const QJsonObject image = images[i].toObject();
            QCOMPARE(image["name"].toString(), served[i]);
            QCOMPARE(image["sha256"].toString(), sha256Hex(payloadFile(served[i])));
            QCOMPARE(image["size"].toInteger(), payloadFile(served[i]).size());
            QVERIFY(image["completed"].toBool());
        }
        checkEvidence(result, sim, "done");
        QVERIFY(QString::fromUtf8(ran.err).contains("] DONE:\n  " + result["reason"].toString() + "\n"));

        QCOMPARE(sim.events("self-upgrade").value(0), selfUpgrade);
        QVERIFY(sim.waitForEvents("boot", fullPath ? 3 : 2));
        QCOMPARE(sim.events("boot").last(), (QJsonObject{{"event", "boot"}, {"slot", 2}, {"version", kFinalVersion}}));

        QVERIFY2(commandLine.contains("--password-file"), commandLine.replace('\0', ' ').constData());
        QVERIFY(!commandLine.contains(kSecret.toUtf8()));
        checkPasswordKept(ran);
    }

    // A switch that runs the final version already: status 0, and it received nothing but the
    // log-in and the inventory's show commands.
    void switchAtTheFinalVersion()
    {
        SwitchSim sim(switchArguments({"--sw-version", kFinalVersion}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const Ran ran = run(m_program, runArguments(sim), environment());
        QCOMPARE(ran.exitStatus, 0);
        checkJsonLines(ran);
        QCOMPARE(sim.transcript(), kLogin + kInventory);
        const QJsonObject result = ran.result();
        QCOMPARE(result["outcome"].toString(), QString("already-final"));
        QCOMPARE(result["versionBefore"].toString(), kFinalVersion);
        QCOMPARE(result["versionAfter"].toString(), kFinalVersion);
        QVERIFY(result["backup"].isNull());
        QVERIFY(!QFile::exists(m_backup));
        checkEvidence(result, sim, "already-final");
    }

    // --plan: what a run would do, and the switch received the log-in and the show commands
    // alone.
    void plan()
    {
        SwitchSim sim(switchArguments({}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const Ran ran = run(m_program, runArguments(sim, {"--plan"}), environment());
        QCOMPARE(ran.exitStatus, 0);
        checkJsonLines(ran);
        QCOMPARE(sim.transcript(), kLogin + kInventory);
        const QJsonObject result = ran.result();
        QCOMPARE(result["outcome"].toString(), QString("planned"));
        const QJsonObject plan = result["plan"].toObject();
        QCOMPARE(plan["path"].toString(), QString("full"));
        QCOMPARE(plan["resets"].toInt(), 2);
        const QJsonArray images = plan["images"].toArray();
        QCOMPARE(images.size(), 2);
        for (const QString name : {"sim_ge-interim.img", "sim_ge-746.img"}) {
            const QJsonObject image = images[name == "sim_ge-746.img" ? 1 : 0].toObject();
            QCOMPARE(image["name"].toString(), name);
            QCOMPARE(image["size"].toInteger(), payloadFile(name).size());
            QCOMPARE(image["sha256"].toString(), sha256Hex(payloadFile(name)));
        }
        QCOMPARE(plan["waits"].toArray().first().toObject()["ms"].toInt(), 70000);
        QVERIFY(plan["estimatedMs"].toInteger() > 70000);
        QVERIFY(result["backup"].isNull());
        QVERIFY(!QFile::exists(m_backup));
        const QString display = QString::fromUtf8(ran.err);
        QVERIFY2(display.contains("path: full") && display.contains("estimate of the whole run:"), qPrintable(display));
    }

    // Log-ins that fail: status 3, the procedure's own messages, no backup claimed, the log
    // kept. The procedure reads a wrong password as a switch that printed no prompt, as it
    // reads a silent one.
    void loginFailures_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::newRow("wrong password") << QStringList{"--password", "another"};
        QTest::newRow("a silent switch") << QStringList{"--silent"};
    }
    void loginFailures()
    {
        QFETCH(QStringList, scenario);
        SwitchSim sim(switchArguments(scenario), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const Ran ran = run(m_program, runArguments(sim), environment());
        QCOMPARE(ran.exitStatus, 3);
        checkJsonLines(ran);
        const QString notFound = "Seems that Tessaro utility did not find device " + sim.address()
            + "\nPleasae verify that this is the correct IP address of the device\nTessaro will now terminate.";
        QCOMPARE(ran.messages(), (QStringList{"Something is wrong with the telnet buffer\nApplication will terminate", notFound,
                                              "EXCEPTION : Application shoud terminate Installer will terminate"}));
        const QJsonObject result = ran.result();
        QCOMPARE(result["outcome"].toString(), QString("failed"));
        QCOMPARE(result["step"].toString(), QString("Taking the inventory"));
        QCOMPARE(result["reason"].toString(), notFound);
        QVERIFY(result["backup"].isNull());
        QVERIFY(result["backups"].toArray().isEmpty());
        QVERIFY(result["recordPath"].isNull());
        QVERIFY(!QFile::exists(m_backup));
        QVERIFY(QFileInfo(result["logPath"].toString()).size() > 0);
        const QString display = QString::fromUtf8(ran.err);
        QVERIFY2(display.contains("FAILED at the step \"Taking the inventory\":\n  Seems that Tessaro utility did not find device")
                     && display.contains("No backup was taken; nothing was changed on the switch."),
                 qPrintable(display));
    }

    // Ctrl-C while the switch fetches the intermediate image, and again as the run ends:
    // status 130, where the switch stands and what to do, the log saved all the same.
    void interruptDuringTheImageDownload()
    {
        // The switch holds its copy command a while before its transfer starts: the Ctrl-C
        // lands in the download however slow the machine.
        SwitchSim sim(switchArguments({"--copy-start-delay", "1500"}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        bool interrupted = false;
        const Ran ran = run(m_twin, runArguments(sim), environment(), [&](QProcess &process, const QJsonObject &line) {
            if (interrupted || line["type"] != "step" || line["text"] != "Updating Image to device")
                return;
            // Once the switch has its copy command, the download is under way. The wait
            // dispatches nothing: this runs inside the reading of the program's output.
            const QDeadlineTimer guard(kHangGuardMs);
            while (!sim.transcript().contains("copy tftp://") && !guard.hasExpired())
                QThread::msleep(5);
            // Two Ctrl-C, apart so that the system does not merge them into one: the second
            // comes while the run stops, and must not cost the log.
            ::kill(pid_t(process.processId()), SIGINT);
            QThread::msleep(20);
            ::kill(pid_t(process.processId()), SIGINT);
            interrupted = true;
        });
        QVERIFY(interrupted);
        QCOMPARE(ran.exitStatus, 130);
        checkJsonLines(ran);
        const QJsonObject result = ran.result();
        QCOMPARE(result["outcome"].toString(), QString("interrupted"));
        QCOMPARE(result["step"].toString(), QString("Updating Image to device"));
        const QString reason = result["reason"].toString();
        QVERIFY2(reason.contains("writing the intermediate image into its inactive image slot"), qPrintable(reason));
        const QString display = QString::fromUtf8(ran.err);
        QVERIFY2(display.contains("INTERRUPTED at the step \"Updating Image to device\":\n  Stopped while the switch was"),
                 qPrintable(display));
        checkEvidence(result, sim, "interrupted");
        QVERIFY(readFile(result["logPath"].toString()).contains("Step3 : Starting download image process...."));
    }
};

QTEST_GUILESS_MAIN(TestRunCli)
#include "tst_runcli.moc"
