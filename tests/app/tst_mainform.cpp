#include "access/TelnetSync.h"
#include "app/Form_Main.h"
#include "payload/ExeStrm.h"
#include "platform/Clock.h"
#include "platform/WorkingFolder.h"
#include "tftp/host/HostWindow.h"
#include "upgrade/upgrade_device.h"
#include "wizard/Frame_Finish.h"
#include "wizard/Frame_Welcome.h"
#include "wizard/HelpDlg.h"

#include "AppTest.h"
#include "CountedClock.h"
#include "LeakedWindows.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "TestPaths.h"

#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

using Platform::MessageAnswer;
using Platform::MessageButtons;
using Platform::MessageKind;

Q_DECLARE_METATYPE(MessageAnswer)

namespace {

// Only names the log files; never a connection target.
const QString kAddress = QStringLiteral("127.0.0.5");
const QString kLogName = QStringLiteral("Quillo_127.0.0.5.log");

QStringList fileLines(const QString &path)
{
    QString text = QString::fromLatin1(readFile(path));
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text.split(u'\n');
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

// Start-up, the run log on disk, the close query, the Finish page's closing lines and the
// help dialog of the real main window, in a temporary folder of its own per case.
class TestMainForm : public QObject
{
    Q_OBJECT

    CountedClock m_clock{0.05};

    // Each case's temporary folder lies in the one the tests started with, not in the last
    // case's, which TMPDIR points at.
    QString m_root;
    std::unique_ptr<QTemporaryDir> m_temp;
    ScriptedDialogs m_dialogs;

    QString temp(const QString &name) const { return m_temp->filePath(name); }

    // The configuration file's folder, where the second copy of the log goes.
    QString configFolder() const { return temp(QStringLiteral("cfg")); }

    void chooseDevice(TMainForm &form)
    {
        form.Operations()->DeviceAddress = kAddress;
        form.Operations()->SetConfigFileName(configFolder() + QStringLiteral("/sw.txt"));
    }

    // A program file whose payload holds the three help documents and no image table.
    QString packDocumentsOnly()
    {
        QList<QPair<QString, QByteArray>> documents;
        for (int n = 1; n <= 3; ++n)
            documents.append({QStringLiteral("upgrade%1.pdf").arg(n), "%PDF-1.4 document " + QByteArray::number(n)});
        return packFixture(m_temp->path(), QStringLiteral("documents-only"), documents);
    }

private slots:
    void initTestCase()
    {
        m_root = QDir::tempPath();
    }

    void init()
    {
        m_temp = std::make_unique<QTemporaryDir>(m_root + QStringLiteral("/tst_mainform-XXXXXX"));
        QVERIFY(m_temp->isValid());
        qputenv("TMPDIR", m_temp->path().toLocal8Bit());
        QVERIFY(QDir().mkdir(configFolder()));
        m_dialogs.clear();
    }

    void cleanup() { QVERIFY2(leakedWindows().isEmpty(), qPrintable(leakedWindows().join(u' '))); }

    void startUpUnpacksThePayload_data()
    {
        QTest::addColumn<QString>("payload");
        QTest::addColumn<bool>("earlierRun");
        QTest::addColumn<QStringList>("extracted");
        const QStringList all{"Upgrade1.pdf", "Upgrade2.pdf", "Upgrade3.pdf", "private.ini"};
        QTest::newRow("packed program") << "packed" << false << all;
        QTest::newRow("packed program, folder of an earlier run") << "packed" << true << all;
        QTest::newRow("documents without image table") << "documents" << false << QStringList();
        QTest::newRow("program without payload") << "bare" << false << QStringList();
        QTest::newRow("missing program file") << "missing" << false << QStringList();
    }

    void startUpUnpacksThePayload()
    {
        QFETCH(QString, payload);
        QFETCH(bool, earlierRun);
        QFETCH(QStringList, extracted);
        const QMap<QString, QString> programs{
            {"packed", binPath("tessaro")},
            {"documents", packDocumentsOnly()},
            {"bare", QCoreApplication::applicationFilePath()},
            {"missing", temp("no-such-program")},
        };
        const QString program = programs.value(payload);
        QVERIFY(!program.isEmpty());
        const QString folder = WorkingFolder();
        if (earlierRun) {
            QVERIFY(QDir().mkdir(folder));
            QVERIFY(writeFile(folder + "private.ini", "; left by an earlier run\n"));
        }

        TMainForm form(program);

        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(folderEntries(folder), extracted);
        const TEXEAppendixFileSystem store(program);
        for (const QString &name : extracted)
            QVERIFY2(readFile(folder + name) == store.OpenFile(name, TExeAppendixStream::AccessMode::Read)->data(),
                     qPrintable(name));
        if (!extracted.isEmpty())
            QCOMPARE(readFile(folder + "private.ini"), readFile(TESSARO_ASSETS_DIR "/private.ini"));
        QVERIFY(m_dialogs.shown().isEmpty());
        QCOMPARE(form.CurrentPageClass(), &TFrameWelcome::staticMetaObject);
        QVERIFY(form.Operations());
        QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Tessaro"));
        // The icon drawn at build time, not the platform's generic one.
        QCOMPARE(form.windowIcon().availableSizes(), QList<QSize>{QSize(64, 64)});
    }

    void startUpGoesOnWithoutItsFolder()
    {
        // The temporary folder is a file, so no folder can be made inside it (tests run as
        // root, which no permission stops).
        const QString notAFolder = temp("file");
        QVERIFY(writeFile(notAFolder, "x"));
        qputenv("TMPDIR", notAFolder.toLocal8Bit());
        const QString folder = WorkingFolder();
        QVERIFY(folder.startsWith(notAFolder + '/'));

        TMainForm form(binPath("tessaro"));

        QCOMPARE(m_dialogs.texts(), (QStringList{"Could not generate directory " + folder,
                                                 "Cannot create file " + folder + "private.ini"}));
        QCOMPARE(m_dialogs.shown().first().kind, MessageKind::Error);
        QCOMPARE(m_dialogs.shown().last().kind, MessageKind::Error);
        QCOMPARE(form.CurrentPageClass(), &TFrameWelcome::staticMetaObject);
        QVERIFY(form.Operations());
    }

    // Another user prepared the working folder with a link in it, waiting for a wizard that
    // runs as root to write through it.
    void refusesAWorkingFolderOthersCanWrite()
    {
        const QString folder = WorkingFolder();
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
        const QString victim = temp(QStringLiteral("victim.txt"));
        QVERIFY(writeFile(victim, "not to be overwritten"));
        QVERIFY(QFile::link(victim, folder + QStringLiteral("private.ini")));
        {
            TMainForm form(binPath("tessaro"));
            chooseDevice(form);
            QVERIFY(form.WorkingFolderRefused());
            QCOMPARE(m_dialogs.texts(),
                     QStringList{QStringLiteral("The working folder %1 can be written by other users, so it is not "
                                                "safe to use.\r\nRemove it, or start the wizard with TMPDIR set to "
                                                "a folder of your own.")
                                     .arg(folder)});
            QCOMPARE(m_dialogs.shown().first().kind, MessageKind::Error);
        }
        QCOMPARE(readFile(victim), QByteArray("not to be overwritten"));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("private.ini")});
    }

    void firstSaveRotatesTheOldLog_data()
    {
        QTest::addColumn<bool>("earlierLog");
        QTest::addColumn<QList<int>>("taken");
        QTest::addColumn<int>("movedTo");
        QTest::newRow("no earlier log") << false << QList<int>{} << 0;
        QTest::newRow("earlier log") << true << QList<int>{} << 1;
        QTest::newRow("old1 taken") << true << QList<int>{1} << 2;
        QTest::newRow("old1 and old3 taken") << true << QList<int>{1, 3} << 2;
        QTest::newRow("all ten taken") << true << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << 0;
    }

    void firstSaveRotatesTheOldLog()
    {
        QFETCH(bool, earlierLog);
        QFETCH(QList<int>, taken);
        QFETCH(int, movedTo);
        const QString log = configFolder() + '/' + kLogName;
        auto oldLog = [&](int n) { return configFolder() + QStringLiteral("/Quillo_127.0.0.5.old%1.log").arg(n); };
        if (earlierLog)
            QVERIFY(writeFile(log, "earlier run\n"));
        for (int n : taken)
            QVERIFY(writeFile(oldLog(n), "older run " + QByteArray::number(n) + '\n'));
        auto checkOldLogs = [&] {
            for (int n : taken)
                QCOMPARE(readFile(oldLog(n)), "older run " + QByteArray::number(n) + '\n');
            if (movedTo)
                QCOMPARE(readFile(oldLog(movedTo)), QByteArray("earlier run\n"));
            QCOMPARE(folderEntries(configFolder()).size(), 1 + taken.size() + (movedTo ? 1 : 0));
        };

        {
            TMainForm form(QStringLiteral("/nonexistent/tessaro"));
            chooseDevice(form);
            QStringList &lines = form.Operations()->Log;
            lines << "Step1:first" << "Step1:second";
            form.SaveLog();
            QCOMPARE(fileLines(log), lines);
            QCOMPARE(fileLines(WorkingFolder() + kLogName), lines);
            checkOldLogs();

            // Later saves of the same run write over the log in place.
            lines << "Step3 : third";
            form.SaveLog();
            QCOMPARE(fileLines(log), lines);
            QCOMPARE(fileLines(WorkingFolder() + kLogName), lines);
            checkOldLogs();
            lines << "Step 4:last";
        }
        // The main window saves a last time as it goes.
        const QStringList expected{"Step1:first", "Step1:second", "Step3 : third", "Step 4:last"};
        QCOMPARE(fileLines(log), expected);
        QCOMPARE(fileLines(WorkingFolder() + kLogName), expected);
        checkOldLogs();
    }

    void saveLogNeedsAddressAndConfigFile_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("configFile");
        QTest::newRow("no device address") << QString() << true;
        QTest::newRow("no configuration file") << kAddress << false;
    }

    void saveLogNeedsAddressAndConfigFile()
    {
        QFETCH(QString, address);
        QFETCH(bool, configFile);
        {
            TMainForm form(QStringLiteral("/nonexistent/tessaro"));
            form.Operations()->DeviceAddress = address;
            if (configFile)
                form.Operations()->SetConfigFileName(configFolder() + "/sw.txt");
            form.Operations()->Log << "Step1:nothing to keep";
            form.SaveLog();
        }
        QVERIFY(folderEntries(configFolder()).isEmpty());
        QVERIFY(folderEntries(WorkingFolder()).isEmpty());
        QVERIFY(m_dialogs.shown().isEmpty());
    }

    void finishPageClosesTheLogOnEveryEntry()
    {
        TMainForm form(QStringLiteral("/nonexistent/tessaro"));
        chooseDevice(form);
        QStringList &lines = form.Operations()->Log;
        lines << "Step1:inventory";
        const QString rule(40, u'-');
        const QStringList closing{rule, rule, "----Tessaro competed succesfully----", rule, rule};

        form.ShowPageOfClass(&TFrameFinish::staticMetaObject);
        QCOMPARE(lines, QStringList{"Step1:inventory"} + closing);
        QCOMPARE(fileLines(configFolder() + '/' + kLogName), lines);
        QCOMPARE(fileLines(WorkingFolder() + kLogName), lines);

        form.ShowPageOfClass(&TFrameFinish::staticMetaObject);
        QCOMPARE(lines, QStringList{"Step1:inventory"} + closing + closing);
        QCOMPARE(fileLines(configFolder() + '/' + kLogName), lines);
        QCOMPARE(form.Pages().size(), 2);
    }

    void closeQuery_data()
    {
        QTest::addColumn<bool>("onFinishPage");
        QTest::addColumn<QString>("closer");
        QTest::addColumn<MessageAnswer>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Welcome, Cancel, yes") << false << "cancel" << MessageAnswer::Yes << true << true;
        QTest::newRow("Welcome, Esc, no") << false << "escape" << MessageAnswer::No << true << false;
        QTest::newRow("Welcome, title bar, yes") << false << "title bar" << MessageAnswer::Yes << true << true;
        QTest::newRow("Welcome, title bar, no") << false << "title bar" << MessageAnswer::No << true << false;
        QTest::newRow("Finish, Finish button") << true << "finish" << MessageAnswer::No << false << true;
    }

    void closeQuery()
    {
        QFETCH(bool, onFinishPage);
        QFETCH(QString, closer);
        QFETCH(MessageAnswer, answer);
        QFETCH(bool, asked);
        QFETCH(bool, closes);

        QTcpServer device;
        QVERIFY2(device.listen(QHostAddress::LocalHost), qPrintable(device.errorString()));
        TMainForm form(QStringLiteral("/nonexistent/tessaro"));
        TfrmMain host(binPath("tessaro"));
        form.SetTftpHost(&host);
        QCOMPARE(form.Operations()->TftpHost, &host);
        host.TftpServer->AddBinding(QStringLiteral("127.0.0.1"), 0);
        host.TftpServer->SetActive(true);
        TTelnet *telnet = form.Operations()->Telnet;
        telnet->SetRemoteHost(QStringLiteral("127.0.0.1"));
        telnet->SetRemotePort(device.serverPort());
        telnet->ConnectWait(5000);
        QVERIFY(telnet->Connected());
        QTRY_VERIFY(device.hasPendingConnections());
        QTcpSocket *peer = device.nextPendingConnection();

        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        if (onFinishPage)
            form.ShowPageOfClass(&TFrameFinish::staticMetaObject);
        fallIdle();
        m_dialogs.answerNext(answer);

        if (closer == "cancel")
            QTest::mouseClick(form.btnCancel, Qt::LeftButton);
        else if (closer == "escape")
            QTest::keyClick(&form, Qt::Key_Escape);
        else if (closer == "finish")
            QTest::mouseClick(form.btnNext, Qt::LeftButton);
        else
            form.close();

        const ScriptedDialogs::Shown question{MessageKind::Question,
                                              "The wizard has not completed its work.\r\nAre you sure you want to quit?",
                                              MessageButtons::YesNo};
        QCOMPARE(m_dialogs.shown().size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(m_dialogs.shown().first().kind, question.kind);
            QCOMPARE(m_dialogs.shown().first().text, question.text);
            QCOMPARE(m_dialogs.shown().first().buttons, question.buttons);
        }
        QCOMPARE(form.isVisible(), !closes);
        QCOMPARE(host.TftpServer->Active(), !closes);
        QCOMPARE(telnet->Connected(), !closes);
        if (closes)
            QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
        else
            QCOMPARE(peer->state(), QAbstractSocket::ConnectedState);
    }

    void helpOpensTheHelpDialog_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("Help button") << false;
        QTest::newRow("F1") << true;
    }

    void helpOpensTheHelpDialog()
    {
        QFETCH(bool, byKey);
        TMainForm form(QStringLiteral("/nonexistent/tessaro"));
        TOKHelpBottomDlg helpDialog(&form);
        form.SetHelpDialog(&helpDialog);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));

        bool shownModal = false;
        QTimer::singleShot(0, this, [&] {
            shownModal = QApplication::activeModalWidget() == &helpDialog;
            QTest::mouseClick(helpDialog.OKBtn, Qt::LeftButton);
        });
        if (byKey)
            QTest::keyClick(&form, Qt::Key_F1);
        else
            QTest::mouseClick(form.btnHelp, Qt::LeftButton);

        // Shown modal to the operator, without holding the caller in a loop of its own.
        QTRY_VERIFY(shownModal);
        QVERIFY(!helpDialog.isVisible());
        QCOMPARE(helpDialog.result(), int(QDialog::Accepted));
        QVERIFY(helpDialog.CancelBtn->isHidden());
    }
};

TESSARO_APP_TEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
