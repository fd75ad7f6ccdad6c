#include "ProcedureRig.h"

#include "CountedClock.h"

#include "access/SnmpSync.h"
#include "upgrade/upgrade_settings.h"

#include <sys/prctl.h>

using Platform::MessageKind;

namespace {

const QByteArray kLogin = "admin\tadmin\r\x1alcli\radmin\radmin\r\n\nshow stack\n";
const QString kSysContact = "1.3.6.1.2.1.1.4";
const QString kSysLocation = "1.3.6.1.2.1.1.6";
const QString kNotFound = "Seems that Tessaro utility did not find device 127.0.0.2\n\rPleasae verify that this is the correct "
                          "IP address of the device\n\rTessaro will now terminate.";
const QString kException = "EXCEPTION : Application shoud terminate Installer will terminate";

// A line of the run log as the procedure traces it.
QString trace(const QString &text, const QString &detail)
{
    return text + "--" + detail;
}

} // namespace

// The settings, the image switch and the reset against the simulated switch over real
// loopback sockets: every command byte for byte on the switch's side, and what the switch
// keeps, reports over SNMP and runs after its reset.
class TestSettingsOperations : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};
    QTemporaryDir m_base;
    std::unique_ptr<QTemporaryDir> m_temp;

    static QStringList scenario(const QStringList &extra)
    {
        return QStringList{"--reset-time", "300"} + extra;
    }

    // The reset's fixed waits need no switch: they pass on a faster clock, and the peer's
    // scale comes back for the reconnection.
    static void hurryThroughTheResetWaits(ProcedureRig &rig)
    {
        rig.onText = [](const QString &text) {
            if (text == "Waiting for a minute before polling....")
                Platform::setTimeScale(0.005);
            else if (text == "Trying to connect to device .....")
                Platform::setTimeScale(kPeerTimeScale);
        };
    }

    static QString snmpRead(const SwitchSim &sim, const QString &oid)
    {
        TSNMP snmp;
        snmp.SetRemoteHost(sim.address());
        snmp.SetRemotePort(sim.port("snmp"));
        snmp.SetCommunity("vemtal");
        snmp.SetNumOfRetries(1);
        QString value;
        snmp.GetValue(oid, value);
        return value;
    }

private slots:
    void initTestCase() { prctl(PR_SET_TIMERSLACK, 1UL); }
    void init()
    {
        m_temp = std::make_unique<QTemporaryDir>(m_base.filePath("run-XXXXXX"));
        QVERIFY(prepareWorkingFolder(m_temp->path()));
        Platform::setTimeScale(kPeerTimeScale);
    }

    void upgradeSettingsAndReset_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("dhcpAfterReset");
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<int>("unitCount");
        QTest::addColumn<int>("activeAfter");
        QTest::addColumn<QString>("versionAfter");
        QTest::addColumn<bool>("stackWait");

        const QByteArray snmp = "configure\nsnmp-server community vemtal su\nlogging console critical\nexit\n";
        const QByteArray location = "configure\nsnmp-server location 127.0.0.1\nsnmp-server community vemtal su  \nexit\n"
                                    "show ip interface \n";
        const QByteArray keep = "configure\ninterface vlan 100\nip address 192.0.2.10 /24 \nexit\n"
                                "ip default-gateway  192.0.2.1 \nexit\n";
        QTest::newRow("standalone, image 1 runs, DHCP after the reset")
            << QStringList{} << true
            << snmp + "configure\nsnmp-server contact 0,\nexit\n" + location + keep + "copy run star\n"
                   + "boot system image-2\nboot system image-2\nreload\nY\nY\n"
            << 0 << 2 << "3.0.0.41" << false;
        QTest::newRow("stack whose master is unit 2, image 2 runs")
            << QStringList{"--stack-master", "2", "--active-image", "2", "--next-image", "2"} << false
            << snmp + "show version \nconfigure\nsnmp-server contact 2\nexit\n" + location + keep + "copy run star\n"
                   + "boot system image-1\nboot system image-1\nstack reload\n"
            << 2 << 1 << "3.0.0.41" << true;
        QTest::newRow("stack of three, static addresses")
            << QStringList{"--stack-master", "1", "--stack-units", "3", "--ip-address", "static:192.0.2.10/24", "--gateway",
                           "static:192.0.2.1"}
            << false
            << snmp + "show version \nconfigure\nsnmp-server contact 3\nexit\n" + location + "copy run star\n"
                   + "boot system image-2\nboot system image-2\nstack reload\n"
            << 3 << 2 << "3.0.0.41" << true;
    }
    void upgradeSettingsAndReset()
    {
        QFETCH(QStringList, extra);
        QFETCH(bool, dhcpAfterReset);
        QFETCH(QByteArray, typed);
        QFETCH(int, unitCount);
        QFETCH(int, activeAfter);
        QFETCH(QString, versionAfter);
        QFETCH(bool, stackWait);
        SwitchSim sim(scenario(extra));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig({});
        QVERIFY(rig.takeInventory(sim));
        rig.operations.SetDhcpAfterReset(dhcpAfterReset);
        const qsizetype inventoryEnd = sim.transcript().size();
        TTelnetOperations &operations = rig.operations;

        operations.EnableSnmpAccess(rig.onProgress);
        operations.SaveUnitCount(rig.onProgress);
        QCOMPARE(operations.StackUnitCount, unitCount);
        const QString contact = QString::number(unitCount) + (dhcpAfterReset ? "," : "");
        QCOMPARE(snmpRead(sim, kSysContact), contact);
        operations.SaveIPAndLocation(rig.onProgress);
        QCOMPARE(snmpRead(sim, kSysLocation), QString("127.0.0.1"));
        operations.SwitchToOtherImage(rig.onProgress);
        hurryThroughTheResetWaits(rig);
        operations.ResetDevice(rig.onProgress);

        const QByteArray afterInventory = sim.transcript().mid(inventoryEnd);
        QVERIFY2(afterInventory.startsWith(typed), afterInventory.constData());
        // Back from the reset: a log-in of its own, and the inventory's, in the open session.
        QCOMPARE(afterInventory.mid(typed.size()).count(kLogin), 2);
        QVERIFY(afterInventory.endsWith("show bootvar" + operations.StackUnit.toLatin1() + "\n"));
        QCOMPARE(sim.events("reset").size(), 1);

        QCOMPARE(operations.ActiveImage, activeAfter);
        QCOMPARE(operations.CurrentVersion, versionAfter);
        QVERIFY(operations.Telnet->Connected());
        QVERIFY(!operations.Telnet->CanDisconnect);
        QVERIFY(operations.ResetStarted);
        // Saved by "copy run star", the settings outlived the reset.
        QCOMPARE(snmpRead(sim, kSysContact), contact);
        QCOMPARE(snmpRead(sim, kSysLocation), QString("127.0.0.1"));

        QCOMPARE(rig.progress.contains("Waiting for another 2 minutes for stack device before polling...."), stackWait);
        QCOMPARE(rig.progress.count("Device returned from it's reset...."), 1);
        QVERIFY(rig.progress.contains(QString("Switching To Other Image...boot system image-%1\n").arg(activeAfter)));
        QVERIFY(operations.Log.contains("snmp-server contact " + contact + "--"));
        QVERIFY(operations.Log.contains("Trace : snmp-server location --127.0.0.1"));
        QVERIFY(operations.Log.contains(trace("Device Returned from Reset OK.......", "---------")));
        QVERIFY(rig.dialogs.shown().isEmpty());
        QVERIFY(!Platform::terminateRequested());
    }

    // Without "copy run star" the running configuration, and with it the SNMP community, is
    // gone after the reset.
    void unsavedSettingsDoNotOutliveTheReset()
    {
        SwitchSim sim(scenario({}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig({});
        QVERIFY(rig.takeInventory(sim));
        rig.operations.EnableSnmpAccess(rig.onProgress);
        rig.operations.SaveUnitCount(rig.onProgress);
        QCOMPARE(snmpRead(sim, kSysContact), QString("0"));
        hurryThroughTheResetWaits(rig);
        rig.operations.ResetDevice(rig.onProgress);
        QVERIFY(rig.operations.Telnet->Connected());
        QCOMPARE(snmpRead(sim, kSysContact), QString("timeout"));
    }

    void keepIpSettings_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<QStringList>("reports");
        QTest::newRow("address and gateway by DHCP")
            << QStringList{} << QByteArray("configure\ninterface vlan 100\nip address 192.0.2.10 /24 \nexit\n"
                                           "ip default-gateway  192.0.2.1 \nexit\n")
            << QStringList{};
        QTest::newRow("static address and gateway")
            << QStringList{"--ip-address", "static:192.0.2.10/24", "--gateway", "static:192.0.2.1"} << QByteArray()
            << QStringList{"IpAddress is static", "IpAddress is static", "no deafualt gateway DHCP",
                           "no deafualt gateway DHCP"};
        QTest::newRow("no gateway: the address row is taken for it")
            << QStringList{"--gateway", "none"}
            << QByteArray("configure\ninterface vlan 100\nip address 192.0.2.10 /24 \nexit\n"
                          "ip default-gateway 192.0.2.10 /24 \nexit\n")
            << QStringList{};
    }
    void keepIpSettings()
    {
        QFETCH(QStringList, extra);
        QFETCH(QByteArray, typed);
        QFETCH(QStringList, reports);
        SwitchSim sim(scenario(extra));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig({});
        QVERIFY(rig.takeInventory(sim));
        const qsizetype before = sim.transcript().size();
        rig.operations.KeepIPSettings(rig.onProgress);
        QCOMPARE(sim.transcript().mid(before), "show ip interface \n" + typed);
        QCOMPARE(rig.progress, reports);
        QVERIFY(rig.operations.Log.last().startsWith("show ip interface \r\n"));
        QVERIFY(rig.operations.Telnet->Received.isEmpty());
    }

    // A switch that never comes back: the inventory of the first attempt cannot log in, tells
    // the operator and ends the program, which leaves the attempts behind.
    void switchThatNeverComesBack()
    {
        SwitchSim sim(scenario({"--reset-fault", "never-back"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig({});
        QVERIFY(rig.takeInventory(sim));
        rig.onText = [](const QString &text) {
            if (text == "Waiting for a minute before polling....")
                Platform::setTimeScale(0.002);
        };
        rig.operations.ResetDevice(rig.onProgress);
        QCOMPARE(rig.dialogs.texts(), (QStringList{kNotFound, kException}));
        QCOMPARE(rig.dialogs.shown()[0].kind, MessageKind::Warning);
        QCOMPARE(rig.dialogs.shown()[1].kind, MessageKind::Plain);
        QVERIFY(Platform::terminateRequested());
        QCOMPARE(sim.transcript().count("reload\n"), 1);
        QCOMPARE(rig.operations.Log.count(trace("Trying to connect", "---------")), 40);
        QVERIFY(!rig.operations.Log.contains(trace("Waiting for anothe 25 seconds as it seems it it not our Master...", "---------")));
    }

    // A switch that comes back but does not answer as a master: five attempts, then the reset
    // returns with the connection dropped.
    void switchThatComesBackWithoutItsSystem()
    {
        SwitchSim sim(scenario({"--mute", "show system"}));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        ProcedureRig rig({});
        rig.operations.DeviceAddress = sim.address();
        rig.operations.Telnet->SetRemotePort(sim.port("telnet"));
        QVERIFY(rig.operations.Login());
        hurryThroughTheResetWaits(rig);
        rig.operations.ResetDevice(rig.onProgress);
        QCOMPARE(rig.operations.Log.count(trace("Waiting for anothe 25 seconds as it seems it it not our Master...", "---------")), 5);
        QCOMPARE(rig.operations.Log.count("Trace: show System Returns False--"), 5);
        QVERIFY(!rig.operations.Telnet->Connected());
        QVERIFY(!rig.operations.Telnet->CanDisconnect);
        QVERIFY(rig.dialogs.shown().isEmpty());
    }

    // Nothing answers before the reset: no reload goes out, and the attempts find nothing.
    void switchUnreachableBeforeTheReset()
    {
        Platform::setTimeScale(0.002);
        ProcedureRig rig({});
        rig.operations.DeviceAddress = "127.0.0.2";
        rig.operations.Telnet->SetRemotePort(closedPort(QHostAddress("127.0.0.2")));
        rig.operations.ResetDevice(rig.onProgress);
        QVERIFY(rig.operations.Log.contains("Device did not answer for 5 minutes...no reset yet...--Hmmmmmm"));
        QVERIFY(!rig.progress.contains("Resetting the device...."));
        QCOMPARE(rig.dialogs.texts(), (QStringList{kNotFound, kException}));
        QVERIFY(Platform::terminateRequested());
    }
};

QTEST_MAIN(TestSettingsOperations)
#include "tst_settingsoperations.moc"
