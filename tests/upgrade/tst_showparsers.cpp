#include "platform/Exceptions.h"
#include "upgrade/IniFile.h"
#include "upgrade/ShowParsers.h"

#include "TestFiles.h"

#include <QtTest>

// Parsers of the switch's show-command output, and the image table's reader.
class TestShowParsers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void findValue_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("key and colon") << QStringList{"System Name:   sw-1"} << "System Name:" << "sw-1";
        QTest::newRow("any letter case, blanks around")
            << QStringList{"  \tsystem NAME:  sw-1 \r"} << "System Name:" << "sw-1";
        QTest::newRow("the colon after the key is dropped once")
            << QStringList{"SW version : 1.0 ( date x )"} << "SW version" << "1.0 ( date x )";
        QTest::newRow("the last of two matching lines wins")
            << QStringList{"System Name: first", "x", "SYSTEM NAME: second"} << "System Name:" << "second";
        QTest::newRow("the key must start the line")
            << QStringList{"The System Name: x"} << "System Name:" << "";
        QTest::newRow("no match is empty") << QStringList{"Type: a"} << "System Name:" << "";
    }
    void findValue()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(FindValue(lines, key), value);
    }

    void findAllValuesKeepsLineOrder()
    {
        QCOMPARE(FindAllValues({"image-1 : a", "other", " IMAGE-2 : b"}, "image-"), (QStringList{"1 : a", "2 : b"}));
    }

    void showSystem()
    {
        const TShowSystem system = ParseShowSystem({"System Description:   Norvale GS-24 Ethernet Switch",
                                                    "System Contact:       noc", "System Name:          sw-1",
                                                    "System Location:      rack 3", "System MAC Address:   00:1b",
                                                    "System Object ID:     1.3.6.1.4.1.99999.1.1.24", "Type:   Norvale GS-24"});
        QCOMPARE(system.Type, QString("Norvale GS-24"));
        QCOMPARE(system.ObjectId, QString("1.3.6.1.4.1.99999.1.1.24"));
        QCOMPARE(system.Name, QString("sw-1"));
        QCOMPARE(system.Location, QString("rack 3"));
        QCOMPARE(system.Contact, QString("noc"));
        QCOMPARE(system.MacAddress, QString("00:1b"));
    }

    void version_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("date");
        QTest::newRow("version, date and time")
            << "SW version    1.0.0.5 ( date 12-Mar-2008 time 10:31:07 )" << "1.0.0.5" << "12-Mar-2008";
        QTest::newRow("no bracket leaves the version empty") << "SW version  1.0.0.5 date 12-Mar-2008" << "" << "12-Mar-2008";
        QTest::newRow("no time") << "SW version 2.0 interim ( date 01-Jan-2009 )" << "2.0 interim" << "01-Jan-2009 )";
        QTest::newRow("no date") << "SW version 2.0 (build 7)" << "2.0" << "";
    }
    void version()
    {
        QFETCH(QString, line);
        QFETCH(QString, version);
        QFETCH(QString, date);
        const TVersion parsed = ParseVersion({"Boot version 9 ( date x time y )", line}, "SW version");
        QCOMPARE(parsed.Version, version);
        QCOMPARE(parsed.Date, date);
    }

    void bootVar_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("active");
        QTest::addColumn<int>("next");
        QTest::newRow("1 active, 2 next")
            << QStringList{"image-1 : active", "image-2 : not active, selected for next boot"} << 1 << 2;
        QTest::newRow("both marks on one slot")
            << QStringList{"image-1 : not active", "image-2 : active, selected for next boot"} << 2 << 2;
        QTest::newRow("digits after the first character extend the number")
            << QStringList{"image-12 active"} << 12 << -1;
        QTest::newRow("a letter first gives -1") << QStringList{"image-a1 active, selected for next boot"} << -1 << -1;
        QTest::newRow("later lines override earlier ones")
            << QStringList{"image-1 : active", "image-2 : active"} << 2 << -1;
        QTest::newRow("no image lines: a one-image device") << QStringList{"Image  Version", "1.0  12-Mar"} << -1 << -1;
    }
    void bootVar()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, active);
        QFETCH(int, next);
        const TBootVar boot = ParseBootVar(lines);
        QCOMPARE(boot.Active, active);
        QCOMPARE(boot.Next, next);
    }

    void imageTable_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("no blank before =") << "1.3.6.1.4.1.99999.1.1.24" << "ImageFile" << "ge-interim.img";
        QTest::newRow("blanks on both sides of =") << "1.3.6.1.4.1.99999.1.1.24" << "ImageFile746" << "ge-746.img";
        QTest::newRow("names in any letter case") << "1.3.6.1.4.1.99999.1.1.24" << "VER746" << "3.0.0.46";
        QTest::newRow("a section taken out of use never matches") << "1.3.6.1.4.1.99999.1.3.24" << "ImageFile" << "";
        QTest::newRow("it is found only by its changed name") << "1.3.6.1.4.1.99999.1.3.24--" << "ImageFile" << "xe.img";
        QTest::newRow("a model without ver746") << "1.3.6.1.4.1.99999.1.2.24" << "ver746" << "";
        QTest::newRow("keys of the next section stay there") << "1.3.6.1.4.1.99999.1.2.24" << "ImageFile746" << "";
        QTest::newRow("commas and percent signs are plain text") << "odd" << "ImageFile" << "a,b%20c.img";
        QTest::newRow("a commented key is not read") << "odd" << "ImageFile746" << "";
        QTest::newRow("a missing section") << "1.2.3" << "ImageFile" << "";
        QTest::newRow("a carriage return alone ends a line") << "cr" << "ImageFile" << "cr.img";
        QTest::newRow("and so does it after a section name") << "cr" << "ImageFile746" << "cr-746.img";
    }
    void imageTable()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QString path = m_dir.filePath("private.ini");
        QVERIFY(writeFile(path, "; image table\r\n\r\n"
                   "[1.3.6.1.4.1.99999.1.1.24]\r\nImageFile= ge-interim.img\r\nImageFile746 = ge-746.img\r\nver746 = 3.0.0.46\r\n"
                   "[1.3.6.1.4.1.99999.1.2.24]\r\n  imagefile =fe-interim.img  \r\n\r\n"
                   "[1.3.6.1.4.1.99999.1.3.24--]\r\n;;\r\nImageFile = xe.img\r\n"
                   "[ODD]\nImageFile=a,b%20c.img\n;ImageFile746=x\n"
                   "[other]\r\nImageFile746 = other.img\r\n"
                   "[cr]\rImageFile=cr.img\rImageFile746 = cr-746.img\r"));
        QCOMPARE(TIniFile(path).ReadString(section, key), value);
    }

    void imageTableWithoutFile()
    {
        QCOMPARE(TIniFile(m_dir.filePath("missing.ini")).ReadString("1.3.6.1.4.1.99999.1.1.24", "ImageFile"), QString());
    }

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
            QCOMPARE(parseShowStack(received), stackUnit);
        } catch (const Exception &error) {
            QCOMPARE(error.message(), stackUnit);
        }
    }
};

QTEST_APPLESS_MAIN(TestShowParsers)
#include "tst_showparsers.moc"
