#include "access/TelnetSync.h"
#include "app/Form_Main.h"
#include "platform/Paths.h"
#include "platform/Terminate.h"
#include "platform/TextLines.h"
#include "tftp/host/HostWindow.h"
#include "upgrade/upgrade_device.h"
#include "wizard/Frame_Ftp.h"
#include "wizard/Frame_IPAddress.h"
#include "wizard/Frame_Top.h"
#include "wizard/Frame_Welcome.h"
#include "wizard/Frame_Working.h"

#include "AppTest.h"
#include "CountedClock.h"
#include "LeakedWindows.h"
#include "ScriptedDialogs.h"
#include "SwitchSim.h"
#include "TestFiles.h"
#include "TestPaths.h"
#include "WizardUnderTest.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

using Platform::MessageAnswer;
using Platform::MessageButtons;
using Platform::MessageKind;

Q_DECLARE_METATYPE(MessageKind)
Q_DECLARE_METATYPE(MessageAnswer)

namespace {

// An address the checks refuse or stop at before any connection: never a target.
const QString kUnreachedAddress = QStringLiteral("192.0.2.1");

// The operator's side of the browse button: what the page asked with, and the path picked.
class BrowseDialogs final : public Platform::IDialogs
{
public:
    explicit BrowseDialogs(QString picked) : m_picked(std::move(picked)) { Platform::setDialogs(this); }
    ~BrowseDialogs() override { Platform::setDialogs(nullptr); }
    Q_DISABLE_COPY_MOVE(BrowseDialogs)

    QString initialPath;
    QStringList filters;

    Platform::MessageAnswer message(Platform::MessageKind, const QString &, Platform::MessageButtons) override
    {
        return Platform::MessageAnswer::Ok;
    }
    QString openFileName(const QString &initial, const QStringList &given) override
    {
        initialPath = initial;
        filters = given;
        return m_picked;
    }
    QString chooseFolder(const QString &) override { return {}; }
    bool openDocument(const QString &) override { return true; }

private:
    QString m_picked;
};

} // namespace

// The device page of the real main window: the operator's values and their checks with the
// exact messages, the browse button, and the inventory of the simulated switch over real
// loopback sockets, which the page shows and hands on to the TFTP page.
class TestDevicePage : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};

    ScriptedDialogs m_dialogs;
    std::unique_ptr<WizardInTempFolder> m_session;
    TMainForm *m_form = nullptr;
    TfrmMain *m_host = nullptr;

    TFrameIPAddress *page() const
    {
        return qobject_cast<TFrameIPAddress *>(m_form->FindPage(&TFrameIPAddress::staticMetaObject));
    }

    // The field as an assistive tool finds it: by the text of its label.
    QLineEdit *field(const QString &label) const
    {
        const QList<QLineEdit *> edits = page()->findChildren<QLineEdit *>();
        for (QLineEdit *edit : edits) {
            if (edit->accessibleName() == label)
                return edit;
        }
        return nullptr;
    }

    void type(const QString &label, const QString &text)
    {
        QLineEdit *edit = field(label);
        QVERIFY2(edit, qPrintable(label));
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    void fill(const QString &user, const QString &password, const QString &address, const QString &config)
    {
        type(QStringLiteral("User Name"), user);
        type(QStringLiteral("Password"), password);
        type(QStringLiteral("Device IP Address"), address);
        type(QStringLiteral("Saved configuration"), config);
        fallIdle();
    }

    void click(QAbstractButton *button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        fallIdle();
    }

    QString temp(const QString &name) const { return m_session->temp.filePath(name); }

private slots:
    void init()
    {
        m_dialogs.clear();
        m_session = std::make_unique<WizardInTempFolder>(QStringLiteral("tst_devicepage"));
        QVERIFY(m_session->open());
        m_form = &m_session->wizard->mainForm;
        m_host = &m_session->wizard->host;
        click(m_form->btnNext);
        QCOMPARE(m_form->CurrentPageClass(), &TFrameIPAddress::staticMetaObject);
    }

    void cleanup()
    {
        m_session.reset();
        Platform::clearTerminateRequest();
        QVERIFY2(leakedWindows().isEmpty(), qPrintable(leakedWindows().join(u' ')));
    }

    void pageAsTheOperatorMeetsIt()
    {
        QCOMPARE(page()->FrameTop->lblTitle->text(), QStringLiteral("Step1 : General Parameters"));
        QCOMPARE(page()->FrameTop->lblSubtitle->text(),
                 QStringLiteral("Specify Username , password and  device IP ,configured on device"));
        QCOMPARE(field("User Name"), page()->edUserName);
        QCOMPARE(field("Password"), page()->edPassword);
        QCOMPARE(field("Device IP Address"), page()->edIpAddress);
        QCOMPARE(field("Saved configuration"), page()->edConfFileName);
        QCOMPARE(page()->edUserName->toolTip(), QStringLiteral("Eeter the usename of the device"));
        QCOMPARE(page()->edPassword->toolTip(), QStringLiteral("Eeter the password for the device"));
        QCOMPARE(page()->edIpAddress->toolTip(), QStringLiteral("Specify the IP of the device"));
        QCOMPARE(page()->edConfFileName->text(), Platform::defaultConfigFileName());
        type("Password", "s3cret");
        QCOMPARE(page()->edPassword->displayText(), QStringLiteral("******"));
        QVERIFY(page()->MemoInfo->isReadOnly());
        QCOMPARE(page()->MemoInfo->lineWrapMode(), QPlainTextEdit::NoWrap);
        // The inventory's columns line up: every character is as wide as any other.
        const QFontMetrics metrics(page()->MemoInfo->font());
        QCOMPARE(metrics.horizontalAdvance(u'i'), metrics.horizontalAdvance(u'W'));
        QCOMPARE(page()->MemoInfo->accessibleName(), QStringLiteral("Switch information"));
    }

    void nextNeedsUserNameAndValidAddress_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("nothing typed") << "" << "" << false;
        QTest::newRow("user name only") << "admin" << "" << false;
        QTest::newRow("address only") << "" << kUnreachedAddress << false;
        QTest::newRow("user name and address, no password") << "admin" << kUnreachedAddress << true;
        QTest::newRow("address of three parts") << "admin" << "192.0.2" << false;
        QTest::newRow("null address") << "admin" << "0.0.0.0" << false;
    }

    void nextNeedsUserNameAndValidAddress()
    {
        QFETCH(QString, user);
        QFETCH(QString, address);
        QFETCH(bool, enabled);
        QVERIFY(!m_form->btnNext->isEnabled());
        fill(user, QString(), address, temp("sw.txt"));
        QCOMPARE(m_form->btnNext->isEnabled(), enabled);
    }

    void checksOfNext_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("config");
        QTest::addColumn<MessageKind>("kind");
        QTest::addColumn<QString>("message");
        const QString inTemp = "<temp>/sw.txt";
        QTest::newRow("no user name") << "" << kUnreachedAddress << inTemp << MessageKind::Plain
                                      << "You should enter valid username and password";
        QTest::newRow("address part above 255") << "admin" << "192.0.2.256" << inTemp << MessageKind::Plain
                                                << "You should enter valid ip address";
        QTest::newRow("no address") << "admin" << "" << inTemp << MessageKind::Plain << "You should enter valid ip address";
        QTest::newRow("blank path") << "admin" << kUnreachedAddress << "  " << MessageKind::Warning
                                    << "Please enter configuration file name (full path) to be saved on your computer.";
        QTest::newRow("no folder part") << "admin" << kUnreachedAddress << "conf.txt" << MessageKind::Warning
                                        << "Directory Does not Exists";
        QTest::newRow("folder missing") << "admin" << kUnreachedAddress << "<temp>/missing/sw.txt" << MessageKind::Warning
                                        << "Directory Does not Exists";
        QTest::newRow("path ends in the separator") << "admin" << kUnreachedAddress << "<temp>/" << MessageKind::Warning
                                                    << "No file was entered.";
    }

    void checksOfNext()
    {
        QFETCH(QString, user);
        QFETCH(QString, address);
        QFETCH(QString, config);
        QFETCH(MessageKind, kind);
        QFETCH(QString, message);
        config.replace("<temp>", m_session->temp.path());
        fill(user, "secret", address, config);

        // Next is disabled for the first cases; the Enter key or the action still asks the page.
        m_form->ActionNextExecute();
        fallIdle();

        QCOMPARE(m_dialogs.shown().size(), 1);
        QCOMPARE(m_dialogs.shown().first().kind, kind);
        QCOMPARE(m_dialogs.shown().first().text, message);
        QCOMPARE(m_dialogs.shown().first().buttons, MessageButtons::Ok);
        QCOMPARE(m_form->CurrentPageClass(), &TFrameIPAddress::staticMetaObject);
        QCOMPARE(m_form->History().size(), 1);
        QCOMPARE(page()->edUserName->text(), user);
        QCOMPARE(page()->edPassword->text(), QStringLiteral("secret"));
        QCOMPARE(page()->edIpAddress->text(), address);
        QCOMPARE(page()->edConfFileName->text(), config);
        // The values reach the procedure before the checks; the path only once it passes.
        const TTelnetOperations *operations = m_form->Operations();
        QCOMPARE(operations->UserName, user);
        QCOMPARE(operations->Password, QStringLiteral("secret"));
        QCOMPARE(operations->DeviceAddress, address);
        QVERIFY(operations->ConfigFileName.isEmpty());
        QVERIFY(operations->Log.isEmpty());
        QVERIFY(!operations->Telnet->Connected());
    }

    void overwriteRefusedKeepsThePage()
    {
        const QString config = temp("sw.txt");
        QVERIFY(writeFile(config, "an earlier backup\n"));
        fill("admin", QString(), kUnreachedAddress, config);
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form));
        page()->edUserName->setFocus();
        m_dialogs.answerNext(MessageAnswer::No);

        click(m_form->btnNext);

        QCOMPARE(m_dialogs.shown().size(), 1);
        QCOMPARE(m_dialogs.shown().first().kind, MessageKind::Information);
        QCOMPARE(m_dialogs.shown().first().text,
                 "File " + config + " already exists do you want to override this file ?.");
        QCOMPARE(m_dialogs.shown().first().buttons, MessageButtons::YesNo);
        QCOMPARE(m_form->CurrentPageClass(), &TFrameIPAddress::staticMetaObject);
        QVERIFY(page()->edConfFileName->hasFocus());
        QVERIFY(m_form->Operations()->ConfigFileName.isEmpty());
        QCOMPARE(readFile(config), QByteArray("an earlier backup\n"));
        QVERIFY(!m_form->Operations()->Telnet->Connected());
    }

    void backAndForthKeepsTheValues()
    {
        fill("admin", "secret", kUnreachedAddress, temp("sw.txt"));
        TFrameIPAddress *first = page();
        click(m_form->btnBack);
        QCOMPARE(m_form->CurrentPageClass(), &TFrameWelcome::staticMetaObject);
        click(m_form->btnNext);
        QCOMPARE(page(), first);
        QCOMPARE(m_form->CurrentPage(), first);
        QCOMPARE(page()->edUserName->text(), QStringLiteral("admin"));
        QCOMPARE(page()->edPassword->text(), QStringLiteral("secret"));
        QCOMPARE(page()->edIpAddress->text(), kUnreachedAddress);
        QCOMPARE(page()->edConfFileName->text(), temp("sw.txt"));
        QVERIFY(m_form->btnNext->isEnabled());
    }

    void browse_data()
    {
        QTest::addColumn<QString>("picked");
        QTest::addColumn<bool>("taken");
        QTest::newRow("a new file in an existing folder") << "<temp>/new.conf" << true;
        QTest::newRow("a folder that does not exist") << "<temp>/missing/new.conf" << false;
        QTest::newRow("cancelled") << "" << false;
    }

    void browse()
    {
        QFETCH(QString, picked);
        QFETCH(bool, taken);
        picked.replace("<temp>", m_session->temp.path());
        const QString before = page()->edConfFileName->text();
        {
            BrowseDialogs dialogs(picked);
            click(page()->btnBrowse);
            QCOMPARE(dialogs.initialPath, before);
            QCOMPARE(dialogs.filters, (QStringList{"all (*.*)", "text file extention (*.txt)",
                                                   "conf file extention (*.conf)"}));
        }
        Platform::setDialogs(&m_dialogs);
        QCOMPARE(page()->edConfFileName->text(), taken ? picked : before);
        QCOMPARE(page()->btnBrowse->accessibleName(), QStringLiteral("Browse"));
    }

    void inventory_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<bool>("earlierBackup");
        QTest::addColumn<bool>("stack");
        QTest::addColumn<QStringList>("report");
        QTest::newRow("standalone, over an earlier backup")
            << QStringList{} << true << false
            << QStringList{"Type        :   Norvale GS-24", "OID         :   1.3.6.1.4.1.99999.1.1.24",
                           "Sys Name    :   switch-1", "Location    :   Lab rack 3", "Sys Contct  :   noc@example.net",
                           "Mac-Address :   00:1b:21:3a:4c:01", "Version     :   3.0.0.43 : 12-Mar-2008 ",
                           "Active      :   image 1 after reset :image 1 "};
        QTest::newRow("stack of two whose master is unit 2")
            << QStringList{"--stack-master", "2", "--stack-units", "2", "--object-id", "1.3.6.1.4.1.99999.1.2.48",
                           "--type", "Norvale FS-48", "--active-image", "2", "--next-image", "1", "--sw-version",
                           "3.0.1.43", "--system-name", "stack-a"}
            << false << true
            << QStringList{"Type        :   Norvale FS-48", "OID         :   1.3.6.1.4.1.99999.1.2.48",
                           "Sys Name    :   stack-a", "Location    :   Lab rack 3", "Sys Contct  :   noc@example.net",
                           "Mac-Address :   00:1b:21:3a:4c:01", "Version     :   3.0.1.43 : 12-Mar-2008 ",
                           "Active      :   image 2 after reset :image 1 "};
    }

    void inventory()
    {
        QFETCH(QStringList, scenario);
        QFETCH(bool, earlierBackup);
        QFETCH(bool, stack);
        QFETCH(QStringList, report);
        SwitchSim sim(scenario);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        m_form->Operations()->Telnet->SetRemotePort(sim.port("telnet"));
        const QString config = temp("sw.txt");
        if (earlierBackup)
            QVERIFY(writeFile(config, "an earlier backup\n"));
        fill("admin", "admin", sim.address(), config);

        click(m_form->btnNext);

        const QStringList shown = QStringList{"Trying to open telnet connection...", "Gathering information"} + report;
        QCOMPARE(Platform::textLines(page()->MemoInfo->toPlainText()), shown);
        QCOMPARE(m_form->DeviceInfo(), shown);
        const TTelnetOperations *operations = m_form->Operations();
        QStringList stepLines;
        for (const QString &line : operations->Log) {
            if (line.startsWith("Step1:"))
                stepLines << line.mid(6);
        }
        QCOMPARE(stepLines, shown);
        QCOMPARE(operations->ConfigFileName, config);
        QCOMPARE(operations->IsStack, stack);
        // The log is on disk beside the configuration file as soon as the inventory is in.
        QCOMPARE(Platform::textLines(QString::fromLatin1(readFile(temp("Quillo_127.0.0.2.log")))), operations->Log);

        QCOMPARE(m_dialogs.texts(), earlierBackup ? QStringList{"File " + config + " already exists do you want to override this file ?."}
                                                  : QStringList{});
        QVERIFY(!Platform::terminateRequested());
        QCOMPARE(m_form->CurrentPageClass(), &TFrameFTP::staticMetaObject);
        // The TFTP page repeats the information without the connection attempt and the type.
        auto *ftpPage = qobject_cast<TFrameFTP *>(m_form->CurrentPage());
        QCOMPARE(Platform::textLines(ftpPage->MemoInfo->toPlainText()),
                 QStringList{"Gathering information"} + report.mid(1));
        // The switch is below its final version: the intermediate run comes next.
        QCOMPARE(ftpPage->NextPageClass(), &TFrameWorking::staticMetaObject);
    }

    // A field that already holds text, reached with Tab or Shift+Tab from its neighbour: it
    // comes selected, so what the operator types replaces it instead of landing after it.
    void tabIntoAFilledFieldReplacesItsText_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        // The path field starts with the default path; the others hold an earlier attempt.
        QTest::newRow("Saved configuration, Tab from the address")
            << "Device IP Address" << int(Qt::Key_Tab) << "Saved configuration" << "" << "<temp>/backup.txt";
        QTest::newRow("User Name, Shift+Tab from the password")
            << "Password" << int(Qt::Key_Backtab) << "User Name" << "operator" << "admin";
        QTest::newRow("Password, Tab from the user name")
            << "User Name" << int(Qt::Key_Tab) << "Password" << "wrong" << "admin";
        QTest::newRow("Device IP Address, Shift+Tab from the path")
            << "Saved configuration" << int(Qt::Key_Backtab) << "Device IP Address" << "127.0.0.99" << "<sim>";
    }

    void tabIntoAFilledFieldReplacesItsText()
    {
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(QString, field);
        QFETCH(QString, before);
        QFETCH(QString, typed);
        SwitchSim sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        m_form->Operations()->Telnet->SetRemotePort(sim.port("telnet"));
        typed.replace("<temp>", m_session->temp.path()).replace("<sim>", sim.address());
        fill("admin", "admin", sim.address(), temp("backup.txt"));
        if (before.isEmpty())
            type("Saved configuration", Platform::defaultConfigFileName());
        else
            type(field, before);
        // Keys reach the field that holds the focus of the active window, as on a desktop.
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form));
        this->field(from)->setFocus();
        QVERIFY(this->field(from)->hasFocus());

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(QApplication::focusWidget(), this->field(field));
        QTest::keyClicks(this->field(field), typed);
        fallIdle();

        QCOMPARE(this->field(field)->text(), typed);
        click(m_form->btnNext);
        QCOMPARE(m_dialogs.texts(), QStringList{});
        QCOMPARE(m_form->CurrentPageClass(), &TFrameFTP::staticMetaObject);
    }

    void inventoryFailureClosesTheWizard_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QList<MessageKind>>("kinds");
        QTest::newRow("user name rejected")
            << QStringList{} << "intruder"
            << QStringList{"Username or pssword is incorrect\n\rApplication will terminate.",
                           "Seems that Tessaro utility did not find device 127.0.0.2\n\r"
                           "Pleasae verify that this is the correct IP address of the device\n\rTessaro will now terminate.",
                           "EXCEPTION : Application shoud terminate Installer will terminate"}
            << QList<MessageKind>{MessageKind::Warning, MessageKind::Warning, MessageKind::Plain};
        QTest::newRow("\"show system\" answers too little")
            << QStringList{"--mute", "show system"} << "admin"
            << QStringList{"Show system returned an illegal value therefore utility should terminate."}
            << QList<MessageKind>{MessageKind::Warning};
    }

    void inventoryFailureClosesTheWizard()
    {
        QFETCH(QStringList, scenario);
        QFETCH(QString, user);
        QFETCH(QStringList, messages);
        QFETCH(QList<MessageKind>, kinds);
        SwitchSim sim(scenario);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        m_form->Operations()->Telnet->SetRemotePort(sim.port("telnet"));
        fill(user, "admin", sim.address(), temp("sw.txt"));

        click(m_form->btnNext);

        // The operator's messages, and no question whether to quit after them.
        QCOMPARE(m_dialogs.texts(), messages);
        for (qsizetype i = 0; i < kinds.size(); ++i) {
            QCOMPARE(m_dialogs.shown()[i].kind, kinds[i]);
            QCOMPARE(m_dialogs.shown()[i].buttons, MessageButtons::Ok);
        }
        QVERIFY(page()->InventoryFailed);
        QVERIFY(!m_form->isVisible());
        QVERIFY(!m_form->CurrentFrame());
        QVERIFY(!m_form->FindPage(&TFrameFTP::staticMetaObject));
        QVERIFY(!m_form->Operations()->Telnet->Connected());
    }
};

TESSARO_APP_TEST_MAIN(TestDevicePage)
#include "tst_devicepage.moc"
