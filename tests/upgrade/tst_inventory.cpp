#include "platform/Exceptions.h"
#include "upgrade/Inventory.h"

#include <QtTest>

// Parsers of the switch's show-command output.
class TestInventory : public QObject
{
    Q_OBJECT

private slots:
    void showStack_data()
    {
        QTest::addColumn<QStringList>("received");
        QTest::addColumn<QString>("stackUnit"); // or the raised message

        const QString noReply = "got no reply from telnet terminal - show stack application will terminte";
        const QString badUnit = "Unit nunmber is not 1 or 2 , very wierd ....Application shoud terminate";
        const QStringList header{"show stack", "Unit  MAC Address        Role", "----  -----------------  ------"};

        QTest::newRow("20 characters are too few") << QStringList{"123456789012345678"} << noReply;
        QTest::newRow("21 characters are enough to judge") << QStringList{"1234567890123456789"} << badUnit;
        QTest::newRow("standalone") << QStringList{"show stack", "% Unrecognized command", "console# "} << "";
        QTest::newRow("master 2") << header + QStringList{"1     00:1b:21:00:00:01  member", "2     00:1b:21:00:00:02  master"}
                                  << " unit 2";
        QTest::newRow("the first master line counts")
            << header + QStringList{"1     a  master", "2     b  master"} << " unit 1";
        QTest::newRow("a line without blanks gives its first character")
            << header + QStringList{"2master-of-the-stack"} << " unit 2";
        QTest::newRow("master 3") << header + QStringList{"3     00:1b:21:00:00:03  master"} << badUnit;
        QTest::newRow("a master line beginning with a blank") << header + QStringList{" 2    x  master"} << badUnit;
        QTest::newRow("a letter before the first blank") << header + QStringList{"2u x master"} << badUnit;
        QTest::newRow("no master line") << header + QStringList{"1     x  Master"} << badUnit;
    }
    void showStack()
    {
        QFETCH(QStringList, received);
        QFETCH(QString, stackUnit);
        try {
            QCOMPARE(ParseShowStack(received), stackUnit);
        } catch (const Exception &error) {
            QCOMPARE(error.message(), stackUnit);
        }
    }
};

QTEST_APPLESS_MAIN(TestInventory)
#include "tst_inventory.moc"
