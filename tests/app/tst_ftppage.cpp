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
#include "PeerProcess.h"
#include "ScriptedDialogs.h"
#include "SwitchSim.h"
#include "TestPaths.h"
#include "WizardUnderTest.h"
#include "TftpdProcess.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

using Platform::MessageButtons;
using Platform::MessageKind;

namespace {

// The image table's final version for the simulator's model: Next ends the wizard instead of
// starting the run, which is not this test's subject.
const QStringList kAtFinalVersion{QStringLiteral("--sw-version"), QStringLiteral("3.0.0.46")};

const QString kOccupied = QStringLiteral("A TFTP server is currently running (port 69 is occupied)\n\r"
                                         "Please close the TFTP Server and press Next again.");

// Without root's right to bind low ports for its lifetime, when the test runs as root: the
// effective capabilities go with the effective user id 0, and come back with it.
class WithoutRoot final
{
public:
    WithoutRoot() : m_dropped(::geteuid() == 0 && ::seteuid(65534) == 0) {}
    ~WithoutRoot()
    {
        if (m_dropped)
            (void)::seteuid(0);
    }
    Q_DISABLE_COPY_MOVE(WithoutRoot)

private:
    bool m_dropped;
};

// The error binding UDP port 69 on every address gives now; 0 when it binds.
int bindPort69Error()
{
    const int handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(69);
    const int result = ::bind(handle, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 ? 0 : errno;
    ::close(handle);
    return result;
}

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
    // The line under the choice that names the program holding port 69; null without one.
    const QLabel *portHolder() const { return page()->findChild<QLabel *>("lblPortHolder"); }

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

    // Port 69 taken by another program: the warning the operator has always had, and which
    // program holds the port, named by the system.
    void port69HolderIsNamed_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("ready");
        QTest::addColumn<QString>("name");
        QTest::newRow("another TFTP server on one IPv4 address")
            << binPath("tessaro-tftpd") << QStringList{"--root", "<temp>", "--port", "69", "--bind", "127.0.0.1"}
            << int(QProcess::StandardError) << "serving .* on 127.0.0.1:69" << "tessaro-tftpd";
        QTest::newRow("a program on every IPv6 and IPv4 address")
            << "python3"
            << QStringList{"-c", "import socket, sys\n"
                                 "s = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)\n"
                                 "s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)\n"
                                 "s.bind(('::', 69))\n"
                                 "print('bound', flush=True)\n"
                                 "sys.stdin.read()\n"}
            << int(QProcess::StandardOutput) << "bound" << "python3";
    }

    void port69HolderIsNamed()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, channel);
        QFETCH(QString, ready);
        QFETCH(QString, name);
        SwitchSim sim(kAtFinalVersion);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        reachThePage(sim);
        QVERIFY2(portHolder(), "the page has no line to name the holder of port 69");
        choose("Default IP");
        arguments.replaceInStrings("<temp>", m_session->temp.path());
        auto holder = std::make_unique<PeerProcess>();
        QVERIFY2(holder->start(program, arguments, QProcess::ProcessChannel(channel), QRegularExpression(ready)),
                 qPrintable(holder->errorText()));

        click(m_form->btnNext);

        QCOMPARE(m_dialogs.texts(), QStringList{kOccupied});
        QCOMPARE(m_dialogs.shown().first().kind, MessageKind::Warning);
        QCOMPARE(m_form->CurrentPageClass(), &TFrameFTP::staticMetaObject);
        QVERIFY(!m_host->TftpServer->Active());
        QVERIFY(portHolder()->isVisible());
        QCOMPARE(portHolder()->text(),
                 QString("Port 69 is held by %1 (pid %2).").arg(name).arg(holder->process().processId()));

        holder.reset();
        m_dialogs.clear();
        click(m_form->btnNext);
        QVERIFY(m_dialogs.shown().isEmpty());
        QVERIFY(portHolder()->isHidden());
        QCOMPARE(m_form->CurrentPageClass(), &TFrameFinish::staticMetaObject);
    }

    // A user who may not bind low ports is told so, and how to grant the program the right,
    // not that another server runs.
    void port69NotPermitted()
    {
        SwitchSim sim(kAtFinalVersion);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        reachThePage(sim);
        choose("Default IP");
        {
            const WithoutRoot nobody;
            const int error = bindPort69Error();
            if (error != EACCES)
                QSKIP(qPrintable(QString("this user may bind port 69 here (error %1)").arg(error)));

            click(m_form->btnNext);
        }

        QCOMPARE(m_dialogs.texts(),
                 QStringList{"The wizard may not open UDP port 69, which the switch's TFTP requests come to: it needs "
                             "root, or the capability to bind low ports.\n\rGrant it with\n\rsudo setcap "
                             "cap_net_bind_service=+ep "
                             + QCoreApplication::applicationFilePath() + "\n\rthen start the wizard again."});
        QCOMPARE(m_dialogs.shown().first().kind, MessageKind::Warning);
        QCOMPARE(m_form->CurrentPageClass(), &TFrameFTP::staticMetaObject);
        QVERIFY(!m_host->TftpServer->Active());
        QVERIFY(portHolder() && portHolder()->isHidden());

        // With the right, the same Next goes on.
        m_dialogs.clear();
        click(m_form->btnNext);
        QVERIFY(m_dialogs.shown().isEmpty());
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
