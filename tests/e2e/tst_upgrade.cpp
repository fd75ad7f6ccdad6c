#include "WizardUnderTest.h"

#include "access/TelnetSync.h"
#include "payload/ExeStrm.h"
#include "platform/Terminate.h"
#include "platform/WorkingFolder.h"
#include "upgrade/upgrade_device.h"
#include "wizard/Frame_Finish.h"
#include "wizard/Frame_Ftp.h"
#include "wizard/Frame_IPAddress.h"
#include "wizard/Frame_Working.h"
#include "wizard/frame_workingInter.h"

#include "CountedClock.h"
#include "LeakedWindows.h"
#include "ScriptedDialogs.h"
#include "SwitchSim.h"
#include "TestFiles.h"
#include "TestPaths.h"
#include "TftpdProcess.h"

#include <QJsonArray>
#include <QLabel>
#include <QJsonDocument>

#include <sys/prctl.h>

using Platform::MessageAnswer;
using Platform::MessageKind;

namespace {

const QByteArray kLogin = "admin\tadmin\r\x1alcli\radmin\radmin\r\n\nshow stack\n";
const QByteArray kEnableSnmp = "configure\nsnmp-server community vemtal su\nlogging console critical\nexit\n";
const QByteArray kBackup = "copy  running-config tftp://127.0.0.1/conf_file.txt \r";
const QByteArray kLocation = "configure\nsnmp-server location 127.0.0.1\nsnmp-server community vemtal su  \nexit\n"
                             "show ip interface \n"
                             "configure\ninterface vlan 100\nip address 192.0.2.10 /24 \nexit\n"
                             "ip default-gateway  192.0.2.1 \nexit\n"
                             "copy run star\n";
const QByteArray kDownloadGe = "copy tftp://127.0.0.1/sim_ge-interim.img image\n";

const QString kFinalVersionGe = "3.0.0.46";
// After the switch's last step: its reset awaited, its version read.
const QStringList kConfirmation{"Waiting for the switch to come back with the final version....",
                                "Trying to connect to device on its final version .....", "The switch runs version 3.0.0.46"};
const QString kDeviceReset = "Device will now reset , and we will loose connection ";
const QString kInTheMiddle = "The wizard is in the middle of the process.\r\nTherefore it is not safe to quit now.";
const QString kQuitQuestion = "The wizard has not completed its work.\r\nAre you sure you want to quit?";

const QStringList kFullRunSubtitles{"Saving configuration file from device ", "Updating Image to device",
                                    "Saving IP address and location", "switching to other image", "Resetting device",
                                    "Finished"};
const QStringList kFullRunBar{"1/5", "2/5", "3/5", "4/5", "5/5"};

// The statuses of a self-upgrade as the operator sees them. Until the switch reports, its
// contact still holds the unit count the wizard wrote: that is no status of the switch's.
QStringList selfUpgradeStatuses(bool stack)
{
    QStringList texts{"Waiting for the switch to report its first step", "Step 1: Final image sim_ge-746.img received",
                      "Step 2: Checking the final image",
                      "Step 3: Erasing the image area", "Step 4: Writing the final image",
                      "Step 5: Verifying the written image"};
    const int steps = stack ? 15 : 7;
    for (int part = 1; stack && part <= 8; ++part)
        texts << QString("Step %1: Copying the final image to the stack units (%2 of 8)").arg(5 + part).arg(part);
    texts << QString("Step %1: Selecting the final image for boot").arg(steps - 1)
          << QString("Step %1: Restoring the configuration").arg(steps)
          << "Upgrade complete: last step, the switch resets when acknowledged";
    return texts;
}

QStringList barUpTo(int steps)
{
    QStringList positions;
    for (int step = 1; step <= steps; ++step)
        positions << QString("%1/%2").arg(step).arg(steps);
    return positions;
}

// Every window other than the main window that is shown, by class; each is closed at once,
// so that a modal one opened by mistake does not hold the test.
class OtherWindows final : public QObject
{
public:
    explicit OtherWindows(const QWidget *mainWindow) : m_mainWindow(mainWindow) { qApp->installEventFilter(this); }

    QStringList shown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::Show && widget && widget->isWindow() && widget != m_mainWindow) {
            shown << QLatin1String(widget->metaObject()->className());
            QTimer::singleShot(0, widget, &QWidget::close);
        }
        return false;
    }

private:
    const QWidget *m_mainWindow;
};

// A key as the operator presses it: to whatever has the focus.
void press(int key)
{
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused);
    QTest::keyClick(focused, Qt::Key(key));
    fallIdle();
}

void typeHere(const QString &text)
{
    QTest::keyClicks(QApplication::focusWidget(), text);
}

} // namespace

// Whole upgrades as an operator makes them: the real main window driven through its
// widgets, offscreen, with the operator's answers scripted; the simulated switch on its real
// ports (telnet 23, SNMP 161) on a loopback address of its own; the wizard's TFTP server on
// UDP 69. Every test checks both sides: what the operator saw and what the switch received,
// kept and runs.
class TestUpgrade : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};
    QString m_payload = binPath("tessaro");
    QTemporaryDir m_base;
    std::unique_ptr<QTemporaryDir> m_temp;
    ScriptedDialogs m_dialogs;
    int m_address = 20;
    QString m_configFile;

    // A switch on the next loopback address, with the timings of a quick but real switch.
    QStringList switchArguments(const QStringList &extra) const
    {
        return QStringList{"--telnet-port", "23", "--snmp-port", "161", "--payload", m_payload, "--copy-start-delay", "200",
                           "--copy-tick", "100", "--reset-time", "1000", "--step-reads", "2"}
            + extra;
    }

    QString nextAddress() { return QString("127.0.0.%1").arg(m_address++); }

    // The reset's fixed waits pass on a faster clock; the peer's scale comes back for the
    // reconnection.
    static void hurryThroughResets(RunObserver &observer, int resets = 1)
    {
        for (int i = 0; i < resets; ++i) {
            observer.onMemoLine("Waiting for a minute before polling....", [] { Platform::setTimeScale(0.005); });
            observer.onMemoLine("Trying to connect to device .....", [] { Platform::setTimeScale(kPeerTimeScale); });
        }
        observer.onMemoLine(kConfirmation[0], [] { Platform::setTimeScale(0.005); });
        observer.onMemoLine(kConfirmation[1], [] { Platform::setTimeScale(kPeerTimeScale); });
    }

    // Welcome, the device page with the switch's address, the TFTP page with the address
    // mode: everything up to the Next that starts the run.
    void fillInUpToTheRun(WizardUnderTest &wizard, const SwitchSim &sim, const QString &afterReset)
    {
        QVERIFY(wizard.next());
        auto *device = wizard.page<TFrameIPAddress>();
        QVERIFY(device);
        WizardUnderTest::type(device->edUserName, "admin");
        WizardUnderTest::type(device->edPassword, "admin");
        WizardUnderTest::type(device->edIpAddress, sim.address());
        WizardUnderTest::type(device->edConfFileName, m_configFile);
        QVERIFY(wizard.next());
        QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFTP::staticMetaObject);
        WizardUnderTest::choose(wizard.page<TFrameFTP>()->ComboBox1, afterReset);
    }

    QByteArray payloadFile(const QString &name) const
    {
        return TEXEAppendixFileSystem(m_payload).OpenFile(name, TExeAppendixStream::AccessMode::Read)->data();
    }

    static QJsonObject readJson(const QString &path) { return QJsonDocument::fromJson(readFile(path)).object(); }

    QStringList memoLines(QWidget *page) const
    {
        return page->findChild<QPlainTextEdit *>("MemoInfo")->toPlainText().split('\n');
    }

    // The run log in the working folder and beside the configuration file, one and the same.
    QStringList logLines(const SwitchSim &sim) const
    {
        const QString name = "Quillo_" + sim.address() + ".log";
        const QByteArray working = readFile(WorkingFolder() + name);
        [&] { QCOMPARE(readFile(m_temp->filePath("cfg/" + name)), working); }();
        return QString::fromLatin1(working).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase() { prctl(PR_SET_TIMERSLACK, 1UL); }

    void init()
    {
        Platform::clearTerminateRequest();
        Platform::setTimeScale(kPeerTimeScale);
        m_dialogs.clear();
        m_temp = std::make_unique<QTemporaryDir>(m_base.filePath("run-XXXXXX"));
        qputenv("TMPDIR", m_temp->path().toLocal8Bit());
        QVERIFY(QDir().mkpath(m_temp->filePath("cfg")));
        m_configFile = m_temp->filePath("cfg/sw.txt");
    }

    void cleanup()
    {
        // A comparison of lists names only their sizes: the texts tell what went wrong.
        if (QTest::currentTestFailed())
            qWarning().noquote() << "Messages shown:" << m_dialogs.texts().join(QStringLiteral(" | "));
        QVERIFY2(leakedWindows().isEmpty(), qPrintable(leakedWindows().join(' ')));
    }

    // A standalone switch with "Default IP", through both runs to the final version. The
    // operator tries to close the window twice: the intermediate run refuses, the final run
    // asks, and the answer No lets it go on.
    void standaloneSwitch()
    {
        SwitchSim sim(switchArguments({}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        {
            WizardUnderTest wizard(m_payload);
            RunObserver observer(wizard.mainForm);
            fillInUpToTheRun(wizard, sim, "Default IP");
            hurryThroughResets(observer);
            observer.onMemoLine("Starting download image process....", [&] { wizard.mainForm.close(); });
            observer.onMemoLine("Stabdalone (or Master)", [&] {
                m_dialogs.answerNext(MessageAnswer::No);
                wizard.mainForm.close();
            });
            QVERIFY(wizard.next());

            QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFinish::staticMetaObject);
            QCOMPARE(m_dialogs.texts(), (QStringList{kInTheMiddle, kQuitQuestion, kDeviceReset}));
            QCOMPARE(m_dialogs.shown()[0].kind, MessageKind::Warning);
            QCOMPARE(m_dialogs.shown()[1].kind, MessageKind::Question);
            QCOMPARE(m_dialogs.shown()[2].kind, MessageKind::Information);
            QCOMPARE(observer.seen("FrameWorking").subtitles, kFullRunSubtitles);
            QCOMPARE(observer.seen("FrameWorking").bar, kFullRunBar);
            const QStringList statuses = selfUpgradeStatuses(false);
            QCOMPARE(observer.seen("FrameWorkingInter").subtitles, statuses + QStringList{"Finished"});
            QCOMPARE(observer.seen("FrameWorkingInter").bar, barUpTo(7));
            QCOMPARE(memoLines(wizard.page<TFrameWorkingInter>()),
                     QStringList{"Stabdalone (or Master)"} + statuses + kConfirmation);
            QCOMPARE(wizard.page<TFrameFinish>()->lblYouHave->text(), QString("You have successfully performed an upgrade."));
            const QStringList intermediate = memoLines(wizard.page<TFrameWorking>());
            QCOMPARE(intermediate.first(), QString("saving configuration for later on ...."));
            QVERIFY(intermediate.contains("Copy Completed!!!!"));
            QVERIFY(intermediate.contains("Device returned from it's reset...."));
            // The TFTP host's log moved along onto the page that runs.
            QVERIFY(wizard.page<TFrameWorkingInter>()->Panelmemo->findChild<QPlainTextEdit *>("memLog"));

            QVERIFY(wizard.next());
            QVERIFY(!wizard.mainForm.isVisible());
        }

        const QStringList log = logLines(sim);
        QVERIFY(log.contains("Step1:Gathering information"));
        QVERIFY(log.contains("Step3 : Copy Completed!!!!"));
        QVERIFY(log.contains("Step 4:Step 7: Restoring the configuration"));
        QCOMPARE(log.last(), QString(40, '-'));
        QCOMPARE(log[log.size() - 3], QString("----Tessaro competed succesfully----"));

        // The switch's side.
        const QByteArray inventory = "show system\nshow version\nshow bootvar\n";
        QCOMPARE(sim.transcript(), kLogin + inventory + kBackup + kEnableSnmp + "configure\nsnmp-server contact 0\nexit\n"
                                       + kDownloadGe + kLocation + "boot system image-2\nboot system image-2\n"
                                       + "reload\nY\nY\n" + kLogin + kLogin + inventory + kLogin
                                       + "show version\nshow bootvar\n");
        QCOMPARE(readFile(m_configFile), sim.sent("conf_file.txt"));
        const QList<QJsonObject> copies = sim.events("copy");
        QCOMPARE(copies.size(), 3);
        QCOMPARE(copies[1].value("file").toString(), QString("sim_ge-interim.img"));
        QCOMPARE(copies[1].value("result").toString(), QString("ok")); // byte for byte the payload's
        QCOMPARE(copies[1].value("slot").toInt(), 2);
        QCOMPARE(copies[2].value("file").toString(), QString("sim_ge-746.img"));
        QCOMPARE(copies[2].value("result").toString(), QString("ok"));
        QCOMPARE(sim.events("self-upgrade").value(0),
                 (QJsonObject{{"event", "self-upgrade"}, {"units", 0}, {"dhcp", false}, {"server", "127.0.0.1"}}));
        QCOMPARE(sim.events("acknowledged").size(), 1);
        QVERIFY(sim.waitForEvents("boot", 3));
        QCOMPARE(sim.events("boot").last(), (QJsonObject{{"event", "boot"}, {"slot", 2}, {"version", kFinalVersionGe}}));
        QVERIFY(sim.slotImage(2) == payloadFile("sim_ge-746.img"));
    }

    // A stack of two whose master is unit 2, with "DHCP": every show command names the unit,
    // the unit count goes to the switch with the DHCP mark, the reset waits two more minutes,
    // and the self-upgrade reports fifteen steps.
    void stackWithDhcp()
    {
        SwitchSim sim(switchArguments({"--stack-master", "2", "--stack-units", "2"}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        {
            WizardUnderTest wizard(m_payload);
            RunObserver observer(wizard.mainForm);
            fillInUpToTheRun(wizard, sim, "DHCP");
            hurryThroughResets(observer);
            QVERIFY(wizard.next());

            QCOMPARE(m_dialogs.texts(), QStringList{kDeviceReset});
            QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFinish::staticMetaObject);
            QCOMPARE(observer.seen("FrameWorking").subtitles, kFullRunSubtitles);
            QCOMPARE(observer.seen("FrameWorking").bar, kFullRunBar);
            const QStringList statuses = selfUpgradeStatuses(true);
            QCOMPARE(observer.seen("FrameWorkingInter").subtitles, statuses + QStringList{"Finished"});
            QCOMPARE(observer.seen("FrameWorkingInter").bar, barUpTo(15));
            QCOMPARE(memoLines(wizard.page<TFrameWorkingInter>()), QStringList{"Stackable device"} + statuses + kConfirmation);
            QVERIFY(memoLines(wizard.page<TFrameWorking>()).contains("Waiting for another 2 minutes for stack device before polling...."));
            QVERIFY(wizard.next());
        }

        const QByteArray inventory = "show system unit 2\nshow version unit 2\nshow bootvar unit 2\n";
        QCOMPARE(sim.transcript(), kLogin + inventory + kBackup + kEnableSnmp
                                       + "show version \nconfigure\nsnmp-server contact 2,\nexit\n" + kDownloadGe + kLocation
                                       + "boot system image-2\nboot system image-2\nstack reload\n" + kLogin + kLogin
                                       + inventory + kLogin + "show version unit 2\nshow bootvar unit 2\nshow version \n");
        QCOMPARE(readFile(m_configFile), sim.sent("conf_file.txt"));
        QCOMPARE(sim.events("self-upgrade").value(0),
                 (QJsonObject{{"event", "self-upgrade"}, {"units", 2}, {"dhcp", true}, {"server", "127.0.0.1"}}));
        QVERIFY(sim.waitForEvents("boot", 3));
        QCOMPARE(sim.events("boot").last(), (QJsonObject{{"event", "boot"}, {"slot", 2}, {"version", kFinalVersionGe}}));
        QVERIFY(sim.slotImage(2) == payloadFile("sim_ge-746.img"));
    }

    // A switch that already runs the intermediate image (an earlier attempt was cut short):
    // only its settings are made again, then the final run.
    void switchOnTheIntermediateImage()
    {
        SwitchSim sim(switchArguments({"--sw-version", "3.0.0.45-interim", "--active-image", "2", "--next-image", "2"}),
                      nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        {
            WizardUnderTest wizard(m_payload);
            RunObserver observer(wizard.mainForm);
            fillInUpToTheRun(wizard, sim, "Default IP");
            QVERIFY(wizard.next());

            QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFinish::staticMetaObject);
            QCOMPARE(m_dialogs.texts(), QStringList{kDeviceReset});
            QCOMPARE(observer.seen("FrameWorking").subtitles, QStringList{"Saving IP address and location"});
            QCOMPARE(observer.seen("FrameWorking").bar, QStringList{"1/1000"});
            QCOMPARE(observer.seen("FrameWorkingInter").bar, barUpTo(7));
            QVERIFY(wizard.next());
        }
        QCOMPARE(sim.transcript(), kLogin + "show system\nshow version\nshow bootvar\n" + kLocation + kEnableSnmp
                                       + "configure\nsnmp-server contact 0\nexit\n");
        QVERIFY(sim.waitForEvents("boot", 2));
        QCOMPARE(sim.events("boot").last(), (QJsonObject{{"event", "boot"}, {"slot", 2}, {"version", kFinalVersionGe}}));
    }

    // A switch at the final version already: the TFTP page's Next starts the server and ends
    // the wizard on the Finish page, nothing sent beyond the inventory.
    void switchAtTheFinalVersion()
    {
        SwitchSim sim(switchArguments({"--sw-version", kFinalVersionGe}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        {
            WizardUnderTest wizard(m_payload);
            fillInUpToTheRun(wizard, sim, "Default IP");
            QVERIFY(wizard.next());
            QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFinish::staticMetaObject);
            QVERIFY(wizard.host.TftpServer->Active());
            QVERIFY(!wizard.page<TFrameWorking>());
            QVERIFY(m_dialogs.shown().isEmpty());
            QVERIFY(wizard.next());
        }
        QCOMPARE(sim.transcript(), kLogin + "show system\nshow version\nshow bootvar\n");
        QCOMPARE(logLines(sim).mid(logLines(sim).size() - 3, 1), QStringList{"----Tessaro competed succesfully----"});
    }

    // The operator on the keyboard alone: Enter on each page, the fields typed where the focus
    // stands, Tab between them. Enter walks the wizard to the Finish page and ends it there;
    // nothing else opens on the way (Enter on a button that had taken the focus would open
    // Help).
    void keyboardAlone()
    {
        SwitchSim sim(switchArguments({"--sw-version", kFinalVersionGe}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        WizardUnderTest wizard(m_payload);
        OtherWindows others(&wizard.mainForm);
        QVERIFY(QTest::qWaitForWindowActive(&wizard.mainForm));

        press(Qt::Key_Return);
        auto *device = wizard.page<TFrameIPAddress>();
        QVERIFY(device);
        QCOMPARE(QApplication::focusWidget(), device->edUserName);
        typeHere("admin");
        press(Qt::Key_Tab);
        typeHere("admin");
        press(Qt::Key_Tab);
        typeHere(sim.address());
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), device->edConfFileName);
        typeHere(m_configFile);
        press(Qt::Key_Return);

        QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFTP::staticMetaObject);
        QCOMPARE(QApplication::focusWidget(), wizard.page<TFrameFTP>()->ComboBox1);
        press(Qt::Key_Down);
        QCOMPARE(wizard.page<TFrameFTP>()->ComboBox1->currentText(), "Default IP");
        press(Qt::Key_Return);

        QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFinish::staticMetaObject);
        QCOMPARE(QApplication::focusWidget(), wizard.mainForm.btnNext);
        press(Qt::Key_Return);
        QVERIFY(!wizard.mainForm.isVisible());
        QCOMPARE(others.shown, QStringList());
        QVERIFY(m_dialogs.shown().isEmpty());
        QCOMPARE(sim.transcript(), kLogin + "show system\nshow version\nshow bootvar\n");
    }

    // Runs that stop before the switch is changed, or in the middle: the operator's messages,
    // where the wizard stands, and what the switch received last.
    void failedRuns_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("refusingServer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("subtitles");
        QTest::addColumn<QByteArray>("lastSent");
        QTest::addColumn<bool>("backToTheFtpPage");

        const QString startAgain = "\n\rApplication will terminate , you may  start again later.";
        QTest::newRow("a user below level 15")
            << QStringList{"--privilege", "1"} << false
            << QStringList{"Seems you are in user level 1 and not 15 " + startAgain}
            << QStringList{"Saving configuration file from device "} << kBackup << false;
        QTest::newRow("the address given to the switch leads to another TFTP server")
            << QStringList{} << true
            << QStringList{"Seems you chose the the wrong ip for the tftp server.\n\r127.0.0.1 address does not seem to fit"
                           + startAgain}
            << QStringList{"Saving configuration file from device "} << kBackup << false;
        QTest::newRow("the connection is lost during the image download")
            << QStringList{"--copy-fault", "image:drop-telnet", "--copy-start-delay", "1500"} << false
            << QStringList{"Telnet is closed , application will now terminat.", "Telnet conection is closed"}
            << QStringList{"Saving configuration file from device ", "Updating Image to device"} << kDownloadGe << true;
    }
    void failedRuns()
    {
        QFETCH(QStringList, extra);
        QFETCH(bool, refusingServer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, subtitles);
        QFETCH(QByteArray, lastSent);
        QFETCH(bool, backToTheFtpPage);
        // The switch's copies reach a TFTP server that refuses every file.
        TftpdProcess refusing;
        QTemporaryDir refusingRoot;
        if (refusingServer) {
            QVERIFY2(refusing.startRefusing(refusingRoot.path()), qPrintable(refusing.errorText()));
            extra << "--tftp-port" << QString::number(refusing.port());
        }
        SwitchSim sim(switchArguments(extra), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        {
            WizardUnderTest wizard(m_payload);
            RunObserver observer(wizard.mainForm);
            fillInUpToTheRun(wizard, sim, "Default IP");
            wizard.next();

            QCOMPARE(m_dialogs.texts(), messages);
            for (const auto &shown : m_dialogs.shown())
                QVERIFY(shown.kind == MessageKind::Warning || shown.kind == MessageKind::Error);
            QVERIFY(Platform::terminateRequested());
            QCOMPARE(observer.seen("FrameWorking").subtitles, subtitles);
            QCOMPARE(wizard.mainForm.CurrentPageClass(),
                     backToTheFtpPage ? &TFrameFTP::staticMetaObject : &TFrameWorking::staticMetaObject);
            QVERIFY(wizard.page<TFrameWorking>()->Aborted);
        }
        QVERIFY(sim.transcript().endsWith(lastSent));
        QVERIFY(!QFile::exists(m_configFile) || lastSent != kBackup);
        QVERIFY(logLines(sim).contains("Step3 : saving configuration for later on ...."));
    }

    // The self-upgrade never reports: after 330 reads without a change the operator is told,
    // and the program ends instead of polling again.
    void selfUpgradeThatNeverReports()
    {
        SwitchSim sim(switchArguments({"--self-upgrade-fault", "never-reports"}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        quint32 pollingFrom = 0;
        {
            WizardUnderTest wizard(m_payload);
            RunObserver observer(wizard.mainForm);
            fillInUpToTheRun(wizard, sim, "Default IP");
            hurryThroughResets(observer);
            // Nothing changes any more on the switch's side: the polls pass on a faster clock.
            observer.onMemoLine("Stabdalone (or Master)", [&] {
                pollingFrom = Platform::tickCount();
                Platform::setTimeScale(0.02);
            });
            wizard.next();
            const quint32 polling = Platform::tickCount() - pollingFrom;

            QCOMPARE(m_dialogs.texts(), (QStringList{"Quillo did not get respond from device intermediate version\n\r"
                                                     "Please try to re run the utility again.",
                                                     "Application will now terminate , please try again later"}));
            QCOMPARE(m_dialogs.shown()[0].kind, MessageKind::Error);
            QCOMPARE(m_dialogs.shown()[1].kind, MessageKind::Error);
            QVERIFY(Platform::terminateRequested());
            QCOMPARE(memoLines(wizard.page<TFrameWorkingInter>()),
                     (QStringList{"Stabdalone (or Master)", "Waiting for the switch to report its first step"}));
            QVERIFY(wizard.page<TFrameWorkingInter>()->Aborted);
            QVERIFY2(polling >= 330u * 2000u, qPrintable(QString::number(polling)));
            QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFTP::staticMetaObject);
        }
        // Entered again by the failure, the intermediate run sent nothing more.
        QVERIFY(sim.transcript().endsWith(kLogin + kLogin + "show system\nshow version\nshow bootvar\n"));
        QVERIFY(logLines(sim).contains("Step 4:Waiting for the switch to report its first step"));
    }

    // The switch comes back from each reset on its old image: one more run, then the operator
    // is told what to look at, and the program ends. The operator's file keeps the
    // configuration taken before anything changed; the second run's goes beside it.
    void switchThatKeepsItsOldImage()
    {
        SwitchSim sim(switchArguments({"--reset-fault", "old-image"}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString failure = "The switch came back from its reset running 3.0.0.43, not the intermediate version, 2 times."
                                "\n\rCheck its image slots (\"show bootvar\") and its console, then run the utility again.";
        const QString secondBackup = m_temp->filePath("cfg/sw.run2.txt");
        QByteArray original;
        {
            WizardUnderTest wizard(m_payload);
            RunObserver observer(wizard.mainForm);
            fillInUpToTheRun(wizard, sim, "Default IP");
            hurryThroughResets(observer, 2);
            observer.onMemoLine("Starting download image process....", [&] { original = sim.sent("conf_file.txt"); });
            wizard.next();

            QCOMPARE(m_dialogs.texts(), QStringList{failure + "\n\rApplication will terminate."});
            QCOMPARE(m_dialogs.shown()[0].kind, MessageKind::Error);
            QVERIFY(Platform::terminateRequested());
            QCOMPARE(observer.seen("FrameWorking").subtitles, kFullRunSubtitles + kFullRunSubtitles);
            QCOMPARE(observer.seen("FrameWorking").bar, kFullRunBar + QStringList{"0/5"} + kFullRunBar);
            QVERIFY(!wizard.page<TFrameWorkingInter>());
        }
        QCOMPARE(sim.transcript().count("reload\nY\nY\n"), 2);
        QCOMPARE(sim.transcript().count(kDownloadGe), 2);
        const QStringList log = logLines(sim);
        QVERIFY(log.contains("Step3 : " + failure.section("\n\r", 0, 0)));

        QVERIFY(!original.isEmpty());
        QVERIFY(!original.contains("snmp-server location 127.0.0.1"));
        QCOMPARE(readFile(m_configFile), original);
        QCOMPARE(readFile(secondBackup), sim.sent("conf_file.txt"));
        QVERIFY(sim.sent("conf_file.txt").contains("snmp-server location 127.0.0.1"));
        QVERIFY(log.contains("Trace: configuration of run 1 saved to--" + m_configFile));
        QVERIFY(log.contains("Trace: configuration of run 2 saved to--" + secondBackup));
        const QJsonObject record = readJson(m_temp->filePath("cfg/Quillo_" + sim.address() + ".result.json"));
        const QJsonArray backups = record["backups"].toArray();
        QCOMPARE(backups.size(), 2);
        QCOMPARE(backups[0].toObject()["path"].toString(), m_configFile);
        QCOMPARE(backups[1].toObject()["path"].toString(), secondBackup);
    }

    // Whole upgrades that end on the Finish page, and what it says: a switch that redraws its
    // prompt with no blank after erase-line goes through as any other; one that reports every
    // step but comes back on the intermediate version is not called upgraded.
    void finishPageSaysWhatWasSeen_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("finishText");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("lastMemoLine");

        QTest::newRow("a prompt without a blank after erase-line")
            << QStringList{"--bare-prompt"} << QStringList{kDeviceReset} << "You have successfully performed an upgrade."
            << "done" << kConfirmation.last();
        const QString notFinal = "The switch came back from its last reset, but not every unit runs version 3.0.0.46: it "
                                 "reported version 3.0.0.45-interim.";
        QTest::newRow("a switch that keeps the intermediate image")
            << QStringList{"--self-upgrade-fault", "final-not-written"}
            << QStringList{kDeviceReset, notFinal + "\n\rCheck its image slots (\"show bootvar\") and its console before "
                                                    "you use it."}
            << "The switch was not seen running the final version: see the report." << "unconfirmed" << notFinal;
    }
    void finishPageSaysWhatWasSeen()
    {
        QFETCH(QStringList, extra);
        QFETCH(QStringList, messages);
        QFETCH(QString, finishText);
        QFETCH(QString, outcome);
        QFETCH(QString, lastMemoLine);
        SwitchSim sim(switchArguments(extra), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        {
            WizardUnderTest wizard(m_payload);
            RunObserver observer(wizard.mainForm);
            fillInUpToTheRun(wizard, sim, "Default IP");
            hurryThroughResets(observer);
            QVERIFY(wizard.next());

            QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFinish::staticMetaObject);
            QCOMPARE(m_dialogs.texts(), messages);
            QCOMPARE(wizard.page<TFrameFinish>()->lblYouHave->text(), finishText);
            QVERIFY(wizard.page<TFrameFinish>()->btnOpenReport->isVisible());
            QCOMPARE(memoLines(wizard.page<TFrameWorkingInter>()).last(), lastMemoLine);
            QVERIFY(wizard.next());
        }
        const QJsonObject record = readJson(m_temp->filePath("cfg/Quillo_" + sim.address() + ".result.json"));
        QCOMPARE(record["result"].toObject()["outcome"].toString(), outcome);
        QVERIFY(QFile::exists(m_temp->filePath("cfg/Quillo_" + sim.address() + ".report.html")));
    }

    // The help documents opened in the middle of a run: the run goes on while they are open.
    void helpNeverHoldsTheRun()
    {
        SwitchSim sim(switchArguments({}), nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        WizardUnderTest wizard(m_payload);
        RunObserver observer(wizard.mainForm);
        fillInUpToTheRun(wizard, sim, "Default IP");
        hurryThroughResets(observer);
        bool helpShown = false;
        QStringList seenWhileHelpOpen;
        observer.onMemoLine("Starting download image process....", [&] {
            // A guard only: a dialog that held the run would otherwise hold the test for ever.
            QTimer::singleShot(120'000, &wizard.help, &QDialog::reject);
            wizard.mainForm.ActionHelpExecute();
            helpShown = wizard.help.isVisible();
        });
        observer.onMemoLine("Resetting the device....", [&] {
            if (wizard.help.isVisible())
                seenWhileHelpOpen << "Resetting the device....";
        });
        QVERIFY(wizard.next());
        QVERIFY(helpShown);
        QCOMPARE(seenWhileHelpOpen, QStringList{"Resetting the device...."});
        QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFinish::staticMetaObject);
        QVERIFY(wizard.help.isVisible());
        wizard.help.accept();
        QCOMPARE(m_dialogs.texts(), QStringList{kDeviceReset});
        QVERIFY(wizard.next());
    }

    // A switch that colours its output and rings the bell, and whose location holds a
    // highlighted word: every memo of the wizard shows clean text with the bell spelt out,
    // while the run log keeps what the switch sent.
    void switchThatColoursItsOutput()
    {
        // The copies start well after the answer's first look, so that the run shows the
        // switch's lines while it waits for the transfer, as it does on a real link.
        SwitchSim sim(switchArguments({"--colour", "--location", "Lab \x1b[7mrack\x1b[0m 3", "--copy-start-delay", "1500"}),
                      nextAddress());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const auto withControls = [](const QString &text) {
            return std::any_of(text.begin(), text.end(), [](QChar c) {
                return c.category() == QChar::Other_Control && c != u'\n' && c != u'\t';
            });
        };
        {
            WizardUnderTest wizard(m_payload);
            RunObserver observer(wizard.mainForm);
            fillInUpToTheRun(wizard, sim, "Default IP");
            for (const QString &memo : {wizard.page<TFrameIPAddress>()->MemoInfo->toPlainText(),
                                        wizard.page<TFrameFTP>()->MemoInfo->toPlainText()}) {
                QVERIFY2(!withControls(memo), qPrintable(memo));
                QVERIFY(memo.split('\n').contains("Location    :   Lab rack 3"));
            }
            hurryThroughResets(observer);
            QVERIFY(wizard.next());

            QCOMPARE(wizard.mainForm.CurrentPageClass(), &TFrameFinish::staticMetaObject);
            QCOMPARE(m_dialogs.texts(), QStringList{kDeviceReset});
            const QList<QPlainTextEdit *> memos = wizard.mainForm.findChildren<QPlainTextEdit *>();
            QVERIFY(memos.size() >= 4);
            for (const QPlainTextEdit *memo : memos)
                QVERIFY2(!withControls(memo->toPlainText()), qPrintable(memo->objectName() + ": " + memo->toPlainText()));
            // The bell comes after the copy command's echo, on its line.
            const QStringList intermediate = memoLines(wizard.page<TFrameWorking>());
            const QString shown = intermediate.join('\n');
            QVERIFY2(!intermediate.filter(QRegularExpression("Accessing file 'sim_ge-interim\\.img' on 127\\.0\\.0\\.1\\.\\.\\.\\\\x07$")).isEmpty(),
                     qPrintable(shown));
            // As many marks as ticks passed during the transfer, none on a quick machine.
            QVERIFY2(!intermediate.filter(QRegularExpression("^Loading sim_ge-interim\\.img from 127\\.0\\.0\\.1:!*$")).isEmpty(),
                     qPrintable(shown));
            QVERIFY2(!intermediate.filter(QRegularExpression("^Copy: \\d+ bytes copied in \\d\\d:\\d\\d:\\d\\d \\[hh:mm:ss\\]$")).isEmpty(),
                     qPrintable(shown));
            QVERIFY(wizard.next());
        }

        const QStringList log = logLines(sim);
        QVERIFY(log.contains("Step1:Location    :   Lab \x1b[7mrack\x1b[0m 3"));
        QVERIFY(!log.filter(QRegularExpression("^Step3 : .*Accessing file 'sim_ge-interim\\.img' on 127\\.0\\.0\\.1\\.\\.\\.\x07$")).isEmpty());
        QVERIFY(!log.filter(QRegularExpression("^Step3 : \x1b\\[32mCopy: \\d+ bytes copied in .*\x1b\\[0m$")).isEmpty());
        QCOMPARE(log[log.size() - 3], QString("----Tessaro competed succesfully----"));
        QVERIFY(sim.waitForEvents("boot", 3));
        QCOMPARE(sim.events("boot").last(), (QJsonObject{{"event", "boot"}, {"slot", 2}, {"version", kFinalVersionGe}}));
    }
};

TESSARO_APP_TEST_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
