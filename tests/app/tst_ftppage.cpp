#include "access/TelnetSync.h"
#include "app/Form_Main.h"
#include "platform/TextLines.h"
#include "tftp/host/HostWindow.h"
#include "upgrade/upgrade_device.h"
#include "wizard/Frame_Finish.h"
#include "wizard/Frame_Ftp.h"
#include "wizard/Frame_IPAddress.h"

#include "AppTest.h"
#include "CountedClock.h"
#include "LeakedWindows.h"
#include "ScriptedDialogs.h"
#include "SwitchSim.h"
#include "TestPaths.h"
#include "WizardUnderTest.h"
#include "TftpdProcess.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using Platform::MessageButtons;
using Platform::MessageKind;

namespace {

// The image table's final version for the simulator's model: Next ends the wizard instead of
// starting the run, which is not this test's subject.
const QStringList kAtFinalVersion{QStringLiteral("--sw-version"), QStringLiteral("3.0.0.46")};

} // namespace

// The TFTP page of the real main window, reached through the device page's inventory of the
// simulated switch: the TFTP server address it tells the switch, the address mode after the
// reset, and the start of the TFTP server on the real UDP port 69.
class TestFtpPage : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};

    ScriptedDialogs m_dialogs;
    std::unique_ptr<WizardInTempFolder> m_session;
    TMainForm *m_form = nullptr;
    TfrmMain *m_host = nullptr;

    TFrameFTP *page() const { return qobject_cast<TFrameFTP *>(m_form->FindPage(&TFrameFTP::staticMetaObject)); }

    void click(QAbstractButton *button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        fallIdle();
    }

    // Welcome, then the device page with the simulator's address, on to the TFTP page.
    void reachThePage(const SwitchSim &sim)
    {
        m_form->Operations()->Telnet->SetRemotePort(sim.port("telnet"));
        click(m_form->btnNext);
        auto *devicePage = qobject_cast<TFrameIPAddress *>(m_form->CurrentPage());
        QVERIFY(devicePage);
        QTest::keyClicks(devicePage->edUserName, "admin");
        QTest::keyClicks(devicePage->edPassword, "admin");
        QTest::keyClicks(devicePage->edIpAddress, sim.address());
        devicePage->edConfFileName->setText(m_session->temp.filePath("sw.txt"));
        fallIdle();
        click(m_form->btnNext);
        QCOMPARE(m_form->CurrentPageClass(), &TFrameFTP::staticMetaObject);
        QVERIFY(m_dialogs.shown().isEmpty());
    }

    void choose(const QString &mode)
    {
        page()->ComboBox1->setCurrentIndex(page()->ComboBox1->findText(mode));
        fallIdle();
    }

private slots:
    void init()
    {
        m_dialogs.clear();
        m_session = std::make_unique<WizardInTempFolder>(QStringLiteral("tst_ftppage"));
        QVERIFY(m_session->open());
        m_form = &m_session->wizard->mainForm;
        m_host = &m_session->wizard->host;
    }

    void cleanup()
    {
        m_session.reset();
        QVERIFY2(leakedWindows().isEmpty(), qPrintable(leakedWindows().join(u' ')));
    }

    void serverAddressIsTheTelnetLocalAddress_data()
    {
        QTest::addColumn<QString>("telnetFrom");
        // Whatever the host name resolves to on this machine.
        QTest::newRow("the system's choice of local address") << "";
        // An address that the host name does not resolve to.
        QTest::newRow("a local address apart from the host name's") << "127.0.0.3";
    }

    void serverAddressIsTheTelnetLocalAddress()
    {
        QFETCH(QString, telnetFrom);
        SwitchSim sim(kAtFinalVersion);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        if (!telnetFrom.isEmpty())
            m_form->Operations()->Telnet->SetLocalHost(telnetFrom);
        reachThePage(sim);

        const QString local = m_form->Operations()->LocalAddress;
        if (!telnetFrom.isEmpty())
            QCOMPARE(local, telnetFrom);
        const QStringList hostAddresses = TFrameFTP::LocalIP().split(u',', Qt::SkipEmptyParts);
        QStringList items;
        for (int i = 0; i < page()->cbFtp->count(); ++i)
            items << page()->cbFtp->itemText(i);
        // The host name's addresses first; the telnet connection's only when they lack it.
        QCOMPARE(items.mid(0, hostAddresses.size()), hostAddresses);
        QCOMPARE(items.size(), hostAddresses.size() + (hostAddresses.contains(local) ? 0 : 1));
        QCOMPARE(page()->cbFtp->currentText(), local);
        QVERIFY(page()->cbFtp->isHidden());
        QVERIFY(!page()->cbFtp->isEnabled());

        choose("Default IP");
        click(m_form->btnNext);
        QCOMPARE(m_form->Operations()->TftpServerAddress, local);
        QVERIFY(!m_form->Operations()->DhcpAfterReset);
    }

    void nextWaitsForTheModeAndForPort69()
    {
        SwitchSim sim(kAtFinalVersion);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        reachThePage(sim);
        QCOMPARE(page()->lblIpAfterReset->text(), QStringLiteral("IP Address after reset "));
        QCOMPARE(page()->ComboBox1->accessibleName(), page()->lblIpAfterReset->text());
        QCOMPARE(page()->ComboBox1->currentIndex(), -1);
        QVERIFY(!page()->ComboBox1->isEditable());
        QVERIFY(!m_form->btnNext->isEnabled());
        QVERIFY(!m_form->btnBack->isEnabled());

        auto holder = std::make_unique<TftpdProcess>();
        QVERIFY2(holder->start(m_session->temp.path(), {"--port", "69", "--bind", "127.0.0.1"}), qPrintable(holder->errorText()));
        choose("DHCP");
        QVERIFY(m_form->btnNext->isEnabled());
        const QString shownBefore = page()->MemoInfo->toPlainText();

        click(m_form->btnNext);

        QCOMPARE(m_dialogs.shown().size(), 1);
        QCOMPARE(m_dialogs.shown().first().kind, MessageKind::Warning);
        QCOMPARE(m_dialogs.shown().first().text,
                 QStringLiteral("A TFTP server is currently running (port 69 is occupied)\n\r"
                                "Please close the TFTP Server and press Next again."));
        QCOMPARE(m_dialogs.shown().first().buttons, MessageButtons::Ok);
        QCOMPARE(m_form->CurrentPageClass(), &TFrameFTP::staticMetaObject);
        QVERIFY(!m_host->TftpServer->Active());
        QCOMPARE(page()->MemoInfo->toPlainText(), shownBefore);
        QVERIFY(m_form->btnNext->isEnabled());

        // The operator closes the other server and presses Next again.
        holder.reset();
        m_dialogs.clear();
        const quint32 paused = programMsOf([&] { click(m_form->btnNext); });

        QVERIFY(m_dialogs.shown().isEmpty());
        QVERIFY(m_host->TftpServer->Active());
        QVERIFY(m_form->Operations()->DhcpAfterReset);
        QVERIFY(page()->MemoInfo->toPlainText().isEmpty());
        QCOMPARE(paused, 2000u);
        QCOMPARE(m_form->CurrentPageClass(), &TFrameFinish::staticMetaObject);
    }

    void switchAtTheFinalVersionGoesToTheEnd()
    {
        SwitchSim sim(kAtFinalVersion);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        reachThePage(sim);
        QCOMPARE(m_form->Operations()->CurrentVersion, m_form->Operations()->FinalVersion);
        QCOMPARE(page()->NextPageClass(), &TFrameFinish::staticMetaObject);
        choose("Default IP");

        click(m_form->btnNext);

        QCOMPARE(m_form->CurrentPageClass(), &TFrameFinish::staticMetaObject);
        QVERIFY(m_host->TftpServer->Active());
        QVERIFY(m_dialogs.shown().isEmpty());
    }
};

TESSARO_APP_TEST_MAIN(TestFtpPage)
#include "tst_ftppage.moc"
