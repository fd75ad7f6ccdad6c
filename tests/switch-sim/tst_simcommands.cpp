#include "CountedClock.h"
#include "SimPeers.h"
#include "SwitchSim.h"

#include "upgrade/upgrade_settings.h"

#include <QtTest>

using Bytes = QList<QByteArray>;

namespace {

const QByteArray kExec = "\x1b[Kconsole# ";
const QByteArray kConfig = "\x1b[Kconsole(config)# ";
const QByteArray kInterface = "\x1b[Kconsole(config-if)# ";
const QByteArray kUnknown = "% Unrecognized command\r\n\r\n";
const QByteArray kInvalid = "% Invalid input detected\r\n\r\n";

} // namespace

// The simulated switch's command line and SNMP agent over real loopback sockets: modes and
// prompts, the running and start-up configuration across resets, the community that opens
// SNMP, the address tables the wizard reads, and the reset itself.
class TestSimCommands : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};

    // Types every text, comparing each reply byte for byte.
    static void converse(SimTerminal &terminal, const Bytes &typed, const Bytes &replies)
    {
        QCOMPARE(typed.size(), replies.size());
        for (qsizetype i = 0; i < typed.size(); ++i)
            QCOMPARE(terminal.type(typed[i]), replies[i]);
    }

    static QByteArray reload(SimTerminal &terminal)
    {
        terminal.write("reload\n");
        QByteArray said = terminal.until([](const QByteArray &b) { return b.endsWith("(Y/N)[N] "); });
        terminal.write("Y\n");
        said += terminal.until([](const QByteArray &b) { return b.endsWith("(Y/N)[N] "); });
        terminal.write("Y\n");
        said += terminal.until([](const QByteArray &b) { return b.endsWith("Shutting down ...\r\n"); });
        return said;
    }

private slots:
    void modesAndPrompts_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<Bytes>("typed");
        QTest::addColumn<Bytes>("replies");

        QTest::newRow("into configuration and interface mode, and one level out at a time")
            << QStringList{} << Bytes{"configure\n", "interface vlan 100\n", "exit\n", "exit\n"}
            << Bytes{"configure\r\n" + kConfig, "interface vlan 100\r\n" + kInterface, "exit\r\n" + kConfig, "exit\r\n" + kExec};
        QTest::newRow("exec commands are unknown in configuration mode")
            << QStringList{"--stack-master", "1"}
            << Bytes{"configure\n", "show version\n", "copy run star\n", "boot system image-2\n", "reload\n", "stack reload\n"}
            << Bytes{"configure\r\n" + kConfig, "show version\r\n" + kUnknown + kConfig, "copy run star\r\n" + kUnknown + kConfig,
                     "boot system image-2\r\n" + kUnknown + kConfig, "reload\r\n" + kUnknown + kConfig,
                     "stack reload\r\n" + kUnknown + kConfig};
        QTest::newRow("configuration commands are unknown in exec mode")
            << QStringList{} << Bytes{"snmp-server contact 0,\n", "interface vlan 100\n", "ip default-gateway 192.0.2.1\n"}
            << Bytes{"snmp-server contact 0,\r\n" + kUnknown + kExec, "interface vlan 100\r\n" + kUnknown + kExec,
                     "ip default-gateway 192.0.2.1\r\n" + kUnknown + kExec};
        QTest::newRow("an interface address only inside the interface")
            << QStringList{} << Bytes{"configure\n", "ip address 192.0.2.5 /24\n", "interface vlan 7\n"}
            << Bytes{"configure\r\n" + kConfig, "ip address 192.0.2.5 /24\r\n" + kUnknown + kConfig,
                     "interface vlan 7\r\n" + kInvalid + kConfig};
        QTest::newRow("control-Z leaves configuration mode")
            << QStringList{} << Bytes{"configure\n", "interface vlan 100\n", "\x1a"}
            << Bytes{"configure\r\n" + kConfig, "interface vlan 100\r\n" + kInterface, "\r\n" + kExec};
        QTest::newRow("stack reload on a standalone switch")
            << QStringList{} << Bytes{"stack reload\n"} << Bytes{"stack reload\r\n" + kUnknown + kExec};
        QTest::newRow("malformed settings")
            << QStringList{}
            << Bytes{"configure\n", "interface vlan 100\n", "ip address 192.0.2.300 /24\n", "ip address 192.0.2.3\n", "exit\n",
                     "ip default-gateway 192.0.2.1 /24\n", "snmp-server community vemtal\n", "logging console loud\n"}
            << Bytes{"configure\r\n" + kConfig, "interface vlan 100\r\n" + kInterface, "ip address 192.0.2.300 /24\r\n" + kInvalid + kInterface,
                     "ip address 192.0.2.3\r\n" + kInvalid + kInterface, "exit\r\n" + kConfig,
                     "ip default-gateway 192.0.2.1 /24\r\n" + kInvalid + kConfig,
                     "snmp-server community vemtal\r\n" + kInvalid + kConfig, "logging console loud\r\n" + kInvalid + kConfig};
        const QByteArray user = "\x1b[Kconsole> ";
        QTest::newRow("privilege level 1 knows no copy, configure, boot or reload")
            << QStringList{"--privilege", "1"}
            << Bytes{"copy  running-config tftp://127.0.0.1/conf_file.txt \r", "configure\n", "copy run star\n",
                     "boot system image-2\n", "reload\n", "show bootvar\n"}
            << Bytes{"copy  running-config tftp://127.0.0.1/conf_file.txt \r\n" + kUnknown + user, "configure\r\n" + kUnknown + user,
                     "copy run star\r\n" + kUnknown + user, "boot system image-2\r\n" + kUnknown + user, "reload\r\n" + kUnknown + user,
                     "show bootvar\r\nimage-1 : active, selected for next boot\r\nimage-2 : not active\r\n\r\n" + user};
    }
    void modesAndPrompts()
    {
        QFETCH(QStringList, scenario);
        QFETCH(Bytes, typed);
        QFETCH(Bytes, replies);
        SwitchSim sim(scenario);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        converse(terminal, typed, replies);
    }

    // Out of the privileged command line, "exit" ends the session as a switch's does.
    void exitFromExecModeCloses()
    {
        SwitchSim sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        terminal.write("exit\n");
        QVERIFY(terminal.waitForClosed());
    }

    // The wizard's settings go to the running configuration; only "copy run star" makes them
    // outlive a reset, SNMP access included.
    void configurationAcrossReset_data()
    {
        QTest::addColumn<bool>("saved");
        QTest::newRow("saved") << true;
        QTest::newRow("not saved") << false;
    }
    void configurationAcrossReset()
    {
        QFETCH(bool, saved);
        SwitchSim sim({"--reset-time", "100"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        const Bytes settings{"configure\n", "snmp-server community vemtal su\n", "logging console critical\n", "exit\n",
                             "configure\n", "snmp-server contact 0,\n", "exit\n",
                             "configure\n", "snmp-server location 127.0.0.1\n", "snmp-server community vemtal su  \n", "exit\n",
                             "configure\n", "interface vlan 100\n", "ip address 192.0.2.10 /24 \n", "exit\n",
                             "ip default-gateway  192.0.2.1 \n", "exit\n"};
        for (const QByteArray &text : settings)
            QVERIFY(!terminal.type(text).contains('%'));
        QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysContact), QStringLiteral("0,"));
        if (saved)
            QCOMPARE(terminal.type("copy run star\n"),
                     "copy run star\r\n%COPY-N-TRAP: The copy operation was completed successfully\r\n\r\n" + kExec);
        for (const QByteArray &text : Bytes{"configure\n", "snmp-server contact not saved\n", "exit\n"})
            terminal.type(text);

        QCOMPARE(reload(terminal), QByteArray("reload\r\nThis command will reset the whole system and disconnect your current session. "
                                              "Do you want to continue ? (Y/N)[N] Y\r\nAre you sure you want to reload the system ? "
                                              "(Y/N)[N] Y\r\nShutting down ...\r\n"));
        QVERIFY(terminal.waitForClosed());
        QVERIFY(sim.waitForEvents("boot", 2));
        SimTerminal again;
        QVERIFY(again.logIn(sim));
        const QByteArray system = again.type("show system\n");
        const QByteArray addresses = again.type("show ip interface \n");
        const QByteArray startup = sim.startupConfig();
        if (saved) {
            QVERIFY2(system.contains("System Contact:                           0,\r\n"), system.constData());
            QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysLocation), QStringLiteral("127.0.0.1"));
            QVERIFY2(addresses.contains("192.0.2.1            active            static\r\n"), addresses.constData());
            QVERIFY2(addresses.contains("192.0.2.10/24        vlan 100    Static   disable\r\n"), addresses.constData());
            for (const char *line : {"\nsnmp-server community vemtal su\n", "\nlogging console critical\n", "\nsnmp-server contact 0,\n",
                                     "\nsnmp-server location 127.0.0.1\n", "\nip address 192.0.2.10 255.255.255.0\n",
                                     "\nip default-gateway 192.0.2.1\n"})
                QVERIFY2(startup.contains(line), line);
        } else {
            QVERIFY2(system.contains("System Contact:                           noc@example.net\r\n"), system.constData());
            QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysLocation), QStringLiteral("timeout"));
            QVERIFY2(addresses.contains("DHCP"), addresses.constData());
            QVERIFY(!startup.contains("snmp-server community"));
        }
        QCOMPARE(sim.events("config-saved").size(), saved ? 1 : 0);

        // The transcript holds both connections' bytes, exactly as typed.
        QByteArray typed = "admin\tadmin\r\x1alcli\radmin\radmin\r" + settings.join() + (saved ? "copy run star\n" : "")
            + "configure\nsnmp-server contact not saved\nexit\nreload\nY\nY\n";
        typed += "admin\tadmin\r\x1alcli\radmin\radmin\rshow system\nshow ip interface \n";
        QCOMPARE(sim.transcript(), typed);
    }

    // SNMP answers "vemtal" only once the configuration names it; then sysContact and
    // sysLocation are the configuration's, written from either side.
    void communityOpensSnmp()
    {
        SwitchSim sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysContact), QStringLiteral("timeout"));

        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        for (const QByteArray &text : Bytes{"configure\n", "snmp-server community vemtal su  \n", "snmp-server community watcher ro\n",
                                            "snmp-server contact Step 0: typed  \n", "exit\n"})
            QVERIFY(!terminal.type(text).contains('%'));
        QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysContact), QStringLiteral("Step 0: typed"));
        QVERIFY(SimSnmp::set(sim, SimSnmp::kSysLocation, QStringLiteral("127.0.0.9")));
        QVERIFY(terminal.type("show system\n").contains("System Location:                          127.0.0.9\r\n"));

        QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysContact, "watcher"), QStringLiteral("Step 0: typed"));
        QVERIFY(!SimSnmp::set(sim, SimSnmp::kSysContact, QStringLiteral("x"), "watcher"));
        QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysContact, "public"), QStringLiteral("timeout"));
        QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysContact), QStringLiteral("Step 0: typed"));
    }

    // The tables as the wizard's KeepIPSettings reads them: a row learned by DHCP gives a
    // setting, a static one a report. Where one table has no DHCP row the wizard's walk goes on
    // into the other table.
    void showIpInterface_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<Bytes>("configuration");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("gateway");
        QTest::addColumn<QStringList>("reports");

        const QString isStatic = "IpAddress is static";
        const QString noGateway = "no deafualt gateway DHCP";
        QTest::newRow("both learned by DHCP") << QStringList{} << Bytes{} << "192.0.2.10 /24 " << " 192.0.2.1 " << QStringList{};
        QTest::newRow("both static")
            << QStringList{"--ip-address", "static:192.0.2.20/25", "--gateway", "static:192.0.2.129"} << Bytes{} << "" << ""
            << QStringList{isStatic, isStatic, noGateway, noGateway};
        QTest::newRow("none") << QStringList{"--ip-address", "none", "--gateway", "none"} << Bytes{} << "" << "" << QStringList{};
        QTest::newRow("set by the command line")
            << QStringList{}
            << Bytes{"configure\n", "interface vlan 100\n", "ip address 192.0.2.10/24\n", "exit\n", "ip default-gateway 192.0.2.1\n", "exit\n"}
            << "" << "" << QStringList{isStatic, isStatic, noGateway, noGateway};
        QTest::newRow("DHCP address without a gateway: the wizard takes the address as gateway")
            << QStringList{"--gateway", "none"} << Bytes{} << "192.0.2.10 /24 " << "192.0.2.10 /24 " << QStringList{};
        QTest::newRow("static address, DHCP gateway: the wizard takes the gateway as address")
            << QStringList{"--ip-address", "static:192.0.2.20/24"} << Bytes{} << " 192.0.2.1 " << " 192.0.2.1 " << QStringList{isStatic};
    }
    void showIpInterface()
    {
        QFETCH(QStringList, scenario);
        QFETCH(Bytes, configuration);
        QFETCH(QString, address);
        QFETCH(QString, gateway);
        QFETCH(QStringList, reports);
        SwitchSim sim(scenario);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        for (const QByteArray &text : configuration)
            QVERIFY(!terminal.type(text).contains('%'));
        const QByteArray answer = terminal.type("show ip interface \n");
        const TIpSettings settings = findIpSettings(QString::fromLatin1(answer).split(QStringLiteral("\r\n")));
        QCOMPARE(settings.Address, address);
        QCOMPARE(settings.Gateway, gateway);
        QCOMPARE(settings.Reports, reports);
        static const QRegularExpression privateRange(QStringLiteral("(^|[^.\\d])(10|172\\.(1[6-9]|2\\d|3[01])|192\\.168)\\."));
        QVERIFY2(!privateRange.match(QString::fromLatin1(answer)).hasMatch(), answer.constData());
    }

    // A reset boots the slot selected for the next boot, or the old one when the switch
    // rejects the new image.
    void resetBootsSelectedSlot_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<Bytes>("typed");
        QTest::addColumn<QByteArray>("bootvar");
        QTest::addColumn<QByteArray>("version");

        const Bytes selectTwo{"boot system image-2\n", "boot system image-2\n"};
        QTest::newRow("reload") << QStringList{} << selectTwo + Bytes{"reload\n", "Y\n", "Y\n"}
                                << QByteArray("image-1 : not active\r\nimage-2 : active, selected for next boot\r\n")
                                << QByteArray("3.0.0.41");
        QTest::newRow("stack reload") << QStringList{"--stack-master", "1"} << selectTwo + Bytes{"stack reload\n"}
                                      << QByteArray("image-1 : not active\r\nimage-2 : active, selected for next boot\r\n")
                                      << QByteArray("3.0.0.41");
        QTest::newRow("new image rejected") << QStringList{"--reset-fault", "old-image"} << selectTwo + Bytes{"reload\n", "Y\n", "Y\n"}
                                            << QByteArray("image-1 : active, selected for next boot\r\nimage-2 : not active\r\n")
                                            << QByteArray("3.0.0.43");
    }
    void resetBootsSelectedSlot()
    {
        QFETCH(QStringList, scenario);
        QFETCH(Bytes, typed);
        QFETCH(QByteArray, bootvar);
        QFETCH(QByteArray, version);
        SwitchSim sim(scenario + QStringList{"--reset-time", "100"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        terminal.type(typed[0]);
        QVERIFY(terminal.type("show bootvar\n").contains("image-2 : not active, selected for next boot\r\n"));
        for (const QByteArray &text : typed.mid(1))
            terminal.write(text);
        QVERIFY(terminal.waitForClosed());
        QVERIFY(sim.waitForEvents("boot", 2));
        SimTerminal again;
        QVERIFY(again.logIn(sim));
        QCOMPARE(again.type("show bootvar\n"), "show bootvar\r\n" + bootvar + "\r\n" + kExec);
        QCOMPARE(sim.events("boot").last().value("version").toString().toLatin1(), version);
    }

    void reloadNotConfirmed_data()
    {
        QTest::addColumn<Bytes>("answers");
        QTest::newRow("first question answered N") << Bytes{"N\n"};
        QTest::newRow("second question left empty") << Bytes{"Y\n", "\n"};
    }
    void reloadNotConfirmed()
    {
        QFETCH(Bytes, answers);
        SwitchSim sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        terminal.write("reload\n");
        terminal.until([](const QByteArray &b) { return b.endsWith("(Y/N)[N] "); });
        for (const QByteArray &answer : answers.mid(0, answers.size() - 1)) {
            terminal.write(answer);
            terminal.until([](const QByteArray &b) { return b.endsWith("(Y/N)[N] "); });
        }
        QCOMPARE(terminal.type(answers.last()), answers.last().trimmed() + "\r\n" + kExec);
        QVERIFY(terminal.type("show bootvar\n").contains("image-1 : active"));
        QVERIFY(sim.events("reset").isEmpty());
    }

    // While it resets the switch refuses connections and SNMP is silent; it comes back on the
    // same ports, unless it never does.
    void awayDuringReset_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<bool>("comesBack");
        QTest::newRow("comes back") << QStringList{} << true;
        QTest::newRow("never comes back") << QStringList{"--reset-fault", "never-back"} << false;
    }
    void awayDuringReset()
    {
        QFETCH(QStringList, scenario);
        QFETCH(bool, comesBack);
        SwitchSim sim(scenario + QStringList{"--reset-time", "2000", "--snmp-open"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        SimTerminal terminal;
        QVERIFY(terminal.logIn(sim));
        reload(terminal);
        QVERIFY(terminal.waitForClosed());
        QVERIFY(!SimTerminal().connectTo(sim));
        QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysContact), QStringLiteral("timeout"));
        QCOMPARE(sim.waitForEvents("boot", 2, 4000), comesBack);
        QCOMPARE(SimTerminal().logIn(sim), comesBack);
        QCOMPARE(SimSnmp::get(sim, SimSnmp::kSysContact), comesBack ? QStringLiteral("noc@example.net") : QStringLiteral("timeout"));
    }
};

QTEST_GUILESS_MAIN(TestSimCommands)
#include "tst_simcommands.moc"
