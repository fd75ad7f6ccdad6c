#include "upgrade/upgrade_copy.h"
#include "upgrade/upgrade_settings.h"

#include "TestFiles.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

// A "show ip interface " answer as the switch prints it: the echo, the gateway table, the
// address table, the prompt.
QStringList ipInterface(const QString &gatewayRow, const QString &addressRow)
{
    return {"show ip interface ",
            "",
            " Gateway IP Address   Activity status   Type",
            "-------------------- ----------------- ---------",
            gatewayRow,
            "",
            " IP Address           I/F               Type",
            "-------------------- ----------------- ---------",
            addressRow,
            "",
            "\x1b[Kconsole# "};
}

} // namespace

// The switch-free pieces of the copy, settings and reset operations.
class TestProcedureParts : public QObject
{
    Q_OBJECT

private slots:
    void copyCommands()
    {
        QCOMPARE(backupCommand("127.0.0.1"), QString("copy  running-config tftp://127.0.0.1/conf_file.txt \r"));
        QCOMPARE(downloadCommand("127.0.0.1", "sim_ge-interim.img"),
                 QString("copy tftp://127.0.0.1/sim_ge-interim.img image\n"));
    }

    void answerTexts_data()
    {
        QTest::addColumn<QStringList>("answer");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("found");
        QTest::newRow("unrecognized, as the switch writes it")
            << QStringList{"copy ...", "% Unrecognized command", ""} << kUnrecognizedCommand << true;
        QTest::newRow("failure in capitals") << QStringList{"%COPY-E-FILECPY: Operation Has FAILED"} << kOperationFailed << true;
        QTest::newRow("occupied") << QStringList{"Copy is OCCUPIED BY ANOTHER USER"} << kOccupied << true;
        QTest::newRow("split over two lines is not found")
            << QStringList{"operation has", "failed"} << kOperationFailed << false;
    }
    void answerTexts()
    {
        QFETCH(QStringList, answer);
        QFETCH(QString, text);
        QFETCH(bool, found);
        QCOMPARE(answerContains(answer, text), found);
    }

    void copyBackupIsWholeOrNothing()
    {
        QTemporaryDir dir;
        const QString uploaded = dir.filePath("conf_file.txt");
        const QString target = dir.filePath("sw.txt");
        QVERIFY(writeFile(uploaded, "hostname console\n"));
        QVERIFY(writeFile(target, "the backup of last week\n"));

        QCOMPARE(copyBackup(dir.filePath("missing.txt"), target).isEmpty(), false);
        QCOMPARE(readFile(target), QByteArray("the backup of last week\n"));
        QCOMPARE(copyBackup(uploaded, dir.filePath("no-such-folder/sw.txt")).isEmpty(), false);
        if (geteuid() != 0) {
            // Root writes into a read-only folder anyway.
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            QCOMPARE(copyBackup(uploaded, target).isEmpty(), false);
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
            QCOMPARE(readFile(target), QByteArray("the backup of last week\n"));
        }
        QCOMPARE(copyBackup(uploaded, target), QString());
        QCOMPARE(readFile(target), QByteArray("hostname console\n"));
    }

    void stackUnits_data()
    {
        QTest::addColumn<QStringList>("answer");
        QTest::addColumn<int>("units");
        QTest::newRow("three units") << QStringList{"show version ",
                                                    "Unit  SW version   Boot version  HW version",
                                                    "----- ------------ ------------- ------------",
                                                    " 1    3.0.0.43     1.0.0.12      00.00.02",
                                                    " 2    3.0.0.43     1.0.0.12      00.00.02",
                                                    " 3    3.0.0.43     1.0.0.12      00.00.02",
                                                    "",
                                                    "\x1b[Kconsole# "}
                                     << 3;
        QTest::newRow("blank and control-only lines do not count") << QStringList{" 1 x", "  \t", "\x1b", " 2 y"} << 2;
        QTest::newRow("twelve dashes are a unit line") << QStringList{"------------"} << 1;
    }
    void stackUnits()
    {
        QFETCH(QStringList, answer);
        QFETCH(int, units);
        QCOMPARE(countStackUnits(answer), units);
    }

    void ipSettings_data()
    {
        QTest::addColumn<QStringList>("answer");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("gateway");
        QTest::addColumn<QStringList>("reports");

        const QString dhcpGateway = "192.0.2.1            Active            dhcp";
        const QString staticGateway = "192.0.2.1            Active            Static";
        QTest::newRow("address and gateway by DHCP")
            << ipInterface(dhcpGateway, "192.0.2.10/24        vlan 1            DHCP")
            << "192.0.2.10 /24 " << " 192.0.2.1 " << QStringList{};
        QTest::newRow("address without a prefix length")
            << ipInterface(dhcpGateway, "192.0.2.10           vlan 1            DHCP")
            << " 192.0.2.10 " << " 192.0.2.1 " << QStringList{};
        QTest::newRow("static address and gateway")
            << ipInterface(staticGateway, "192.0.2.10/24        vlan 1            Static") << "" << ""
            << QStringList{"IpAddress is static", "IpAddress is static", "no deafualt gateway DHCP",
                           "no deafualt gateway DHCP"};
        // The backward walk goes on into the gateway table and the forward walk into the
        // address table: each takes the first DHCP row it meets.
        QTest::newRow("gateway by DHCP, static address: the gateway's row serves both")
            << ipInterface(dhcpGateway, "192.0.2.10/24        vlan 1            Static") << " 192.0.2.1 "
            << " 192.0.2.1 " << QStringList{"IpAddress is static"};
        QTest::newRow("no gateway: the address row serves both")
            << ipInterface("", "192.0.2.10/24        vlan 1            DHCP") << "192.0.2.10 /24 " << "192.0.2.10 /24 "
            << QStringList{};
        QTest::newRow("a column ending at the fourth character is no row")
            << ipInterface("1.2   Active   dhcp", "1.2   vlan 1   DHCP") << "" << "" << QStringList{};
        QTest::newRow("DHCP as the row's first word does not count")
            << ipInterface("DHCP-1.2.3.4         Active            Static", "DHCP-1.2.3.4/8       vlan 1            Static")
            << "" << "" << QStringList{"IpAddress is static", "IpAddress is static", "no deafualt gateway DHCP", "no deafualt gateway DHCP"};
        QStringList gatewayAtStart = ipInterface(dhcpGateway, "192.0.2.10/24        vlan 1            DHCP");
        gatewayAtStart[2] = "Gateway IP Address   Activity status   Type";
        QTest::newRow("\"Gateway\" at the first character: not the table") << gatewayAtStart << "" << "" << QStringList{};
        QTest::newRow("five lines or fewer") << ipInterface(dhcpGateway, "x").mid(0, 5) << "" << "" << QStringList{};
    }
    void ipSettings()
    {
        QFETCH(QStringList, answer);
        QFETCH(QString, address);
        QFETCH(QString, gateway);
        QFETCH(QStringList, reports);
        const TIpSettings settings = findIpSettings(answer);
        QCOMPARE(settings.Address, address);
        QCOMPARE(settings.Gateway, gateway);
        QCOMPARE(settings.Reports, reports);
    }

    void keepIpCommands_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("gateway");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("address and gateway")
            << "192.0.2.10 /24 " << " 192.0.2.1 "
            << QStringList{"configure\n", "interface vlan 100\n", "ip address 192.0.2.10 /24 \n", "exit\n",
                           "ip default-gateway  192.0.2.1 \n", "exit\n"};
        QTest::newRow("a gateway alone goes without configure")
            << "" << " 192.0.2.1 " << QStringList{"ip default-gateway  192.0.2.1 \n", "exit\n"};
        QTest::newRow("five characters are too few") << "1.2.3" << " 1.2.3" << QStringList{"ip default-gateway  1.2.3\n", "exit\n"};
        QTest::newRow("nothing found") << "" << "" << QStringList{};
    }
    void keepIpCommands()
    {
        QFETCH(QString, address);
        QFETCH(QString, gateway);
        QFETCH(QStringList, commands);
        QCOMPARE(::keepIpCommands({address, gateway, {}}), commands);
    }

    void bootCommand_data()
    {
        QTest::addColumn<int>("active");
        QTest::addColumn<QString>("command");
        QTest::newRow("image 1 runs") << 1 << "boot system image-2\n";
        QTest::newRow("image 2 runs") << 2 << "boot system image-1\n";
        QTest::newRow("one-image device") << -1 << "boot system image-1\n";
    }
    void bootCommand()
    {
        QFETCH(int, active);
        QFETCH(QString, command);
        QCOMPARE(bootOtherImageCommand(active), command);
    }
};

QTEST_GUILESS_MAIN(TestProcedureParts)
#include "tst_procedureparts.moc"
