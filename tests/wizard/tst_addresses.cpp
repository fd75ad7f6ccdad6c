#include "wizard/AddressCheck.h"
#include "wizard/Frame_Ftp.h"

#include <QtTest>

// The two address rules of the parameter pages: which texts the device page takes as a
// switch address, and which of the PC's addresses the TFTP page tells the switch.
class TestAddresses : public QObject
{
    Q_OBJECT

private slots:
    void isValidAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<int>("separators");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<bool>("valid");
        // As the device page checks a switch address.
        const auto dotted = [](const char *name, const char *text, bool valid) {
            QTest::newRow(name) << QString(text) << QChar(u'.') << 3 << false << 255 << valid;
        };
        dotted("address", "10.0.0.1", true);
        dotted("every part at the maximum", "255.255.255.255", true);
        dotted("a part above the maximum", "10.0.0.256", false);
        dotted("digits far beyond any integer", "10.0.0.99999999999999999999", false);
        dotted("two separators", "10.0.0", false);
        dotted("four separators", "10.0.0.1.5", false);
        dotted("the null address", "0.0.0.0", false);
        dotted("a letter", "10.0.0.a", false);
        dotted("a trailing blank", "10.0.0.1 ", false);
        dotted("empty", "", false);
        dotted("an empty part counts as 0", "10.0..1", true);

        QTest::newRow("hex parts") << "0A.ff.0.1" << QChar(u'.') << 3 << true << 255 << true;
        QTest::newRow("hex digits without the hex flag") << "0A.ff.0.1" << QChar(u'.') << 3 << false << 255 << false;
        QTest::newRow("a hex part above the maximum") << "100.0.0.1" << QChar(u'.') << 3 << true << 255 << false;
        QTest::newRow("no hex digit beyond F") << "10.0.0.g" << QChar(u'.') << 3 << true << 255 << false;
        QTest::newRow("hex groups of sixteen bits") << "fe80:0:0:0:0:0:0:FFFF" << QChar(u':') << 7 << true << 65535 << true;
        QTest::newRow("another separator and maximum") << "1-2-3" << QChar(u'-') << 2 << false << 3 << true;
        QTest::newRow("the separator is the only one allowed") << "1.2-3" << QChar(u'-') << 2 << false << 3 << false;
        QTest::newRow("any separator count, six parts") << "1.2.3.4.5.6" << QChar(u'.') << kAnySeparatorCount << false << 255 << true;
        QTest::newRow("any separator count, one part") << "7" << QChar(u'.') << kAnySeparatorCount << false << 255 << true;
        QTest::newRow("any separator count, a part too big") << "1.2.300" << QChar(u'.') << kAnySeparatorCount << false << 255 << false;
    }

    void isValidAddress()
    {
        QFETCH(QString, text);
        QFETCH(QChar, separator);
        QFETCH(int, separators);
        QFETCH(bool, hex);
        QFETCH(int, maximum);
        QFETCH(bool, valid);
        QCOMPARE(IsValidAddress(text, separator, separators, hex, maximum), valid);
    }

    void serverAddresses_data()
    {
        QTest::addColumn<QStringList>("hostAddresses");
        QTest::addColumn<QString>("localAddress");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("selected");
        const QStringList two{"192.0.2.10", "192.0.2.20"};
        QTest::newRow("the telnet address is the second") << two << "192.0.2.20" << two << 1;
        QTest::newRow("the telnet address is the first") << two << "192.0.2.10" << two << 0;
        QTest::newRow("the host name lacks the telnet address")
            << two << "192.0.2.30" << QStringList{"192.0.2.10", "192.0.2.20", "192.0.2.30"} << 2;
        QTest::newRow("the host name does not resolve") << QStringList{} << "192.0.2.30" << QStringList{"192.0.2.30"} << 0;
        QTest::newRow("no telnet address") << two << "" << two << 0;
        QTest::newRow("nothing at all") << QStringList{} << "" << QStringList{} << -1;
    }

    void serverAddresses()
    {
        QFETCH(QStringList, hostAddresses);
        QFETCH(QString, localAddress);
        QFETCH(QStringList, items);
        QFETCH(int, selected);
        const TServerAddresses addresses = ::serverAddresses(hostAddresses, localAddress);
        QCOMPARE(addresses.Items, items);
        QCOMPARE(addresses.Selected, selected);
    }
};

QTEST_APPLESS_MAIN(TestAddresses)
#include "tst_addresses.moc"
