#include "Inventory.h"

#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kHeader = "address,user,password_file,backup,after_reset\n";

} // namespace

// The inventory file of tessaro-run: every bad row is named with its line, and a file with one
// starts nothing; good rows come out with their passwords read and their paths taken from the
// inventory's folder. The folder holds a password file (admin.pass) and a backup folder (cfg).
class TestInventory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Expected texts name the fixture's folder as DIR.
    QString inDir(QString text) const { return text.replace("DIR", m_dir.path()); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(writeFile(m_dir.filePath("admin.pass"), "s3cret pw\n"));
        QVERIFY(QDir(m_dir.path()).mkpath("cfg"));
    }

    void badRows_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("errors");
        const QByteArray good = "127.0.0.80,admin,admin.pass,cfg/a.cfg,default\n";

        QTest::newRow("a field missing") << kHeader + "127.0.0.81,admin,admin.pass,cfg/b.cfg\n"
                                         << QStringList{"line 2: 4 fields where the header names 5 "
                                                        "(address,user,password_file,backup,after_reset)."};
        QTest::newRow("a field too many") << kHeader + "127.0.0.81,admin,admin.pass,cfg/b.cfg,default,x\n"
                                          << QStringList{"line 2: 6 fields where the header names 5 "
                                                         "(address,user,password_file,backup,after_reset)."};
        QTest::newRow("empty fields") << kHeader + "127.0.0.81, ,admin.pass,,default\n"
                                      << QStringList{"line 2: no user.", "line 2: no backup."};
        QTest::newRow("not an IPv4 address") << kHeader + "127.0.0.300,admin,admin.pass,cfg/b.cfg,default\n"
                                             << QStringList{"line 2: the address 127.0.0.300 is not an IPv4 address "
                                                            "such as 192.0.2.10."};
        QTest::newRow("a host name") << kHeader + "switch-b,admin,admin.pass,cfg/b.cfg,default\n"
                                     << QStringList{"line 2: the address switch-b is not an IPv4 address such as "
                                                    "192.0.2.10."};
        QTest::newRow("an unknown after_reset") << kHeader + "127.0.0.81,admin,admin.pass,cfg/b.cfg,static\n"
                                                << QStringList{"line 2: after_reset is default or dhcp, not \"static\"."};
        QTest::newRow("a password file that cannot be read")
            << kHeader + "127.0.0.81,admin,nowhere.pass,cfg/b.cfg,default\n"
            << QStringList{"line 2: The password file DIR/nowhere.pass cannot be read: No such file or directory."};
        QTest::newRow("a backup folder that does not exist")
            << kHeader + "127.0.0.81,admin,admin.pass,gone/b.cfg,default\n"
            << QStringList{"line 2: the backup DIR/gone/b.cfg: the folder DIR/gone does not exist."};
        QTest::newRow("a backup that is a folder") << kHeader + "127.0.0.81,admin,admin.pass,cfg,default\n"
                                                   << QStringList{"line 2: the backup DIR/cfg is a folder: give the path "
                                                                  "of a file in it."};
        QTest::newRow("an address twice") << kHeader + good + "127.0.0.80,admin,admin.pass,cfg/b.cfg,default\n"
                                          << QStringList{"line 3: the address 127.0.0.80 is on line 2 already."};
        // The same file, however the rows spell it.
        QTest::newRow("a backup path twice")
            << kHeader + good + "127.0.0.81,admin,admin.pass," + m_dir.filePath("cfg/../cfg/a.cfg").toUtf8() + ",dhcp\n"
            << QStringList{"line 3: the backup DIR/cfg/a.cfg is line 2's already; each switch needs a file of its own."};
        QTest::newRow("an unclosed quote") << kHeader + "127.0.0.81,admin,admin.pass,\"cfg/b.cfg,default\n"
                                           << QStringList{"line 2: a quoted field is not closed."};
        // Comments and blank lines count for the line numbers; every bad row is named.
        QTest::newRow("several bad rows among good ones")
            << "# site A\n\n" + kHeader + good + "# first floor\n127.0.0.81,admin,admin.pass,cfg/b.cfg,static\n\n"
                   "127.0.0.82,admin,admin.pass,cfg/c.cfg,default\n127.0.0.80,,admin.pass,cfg/d.cfg,dhcp\n"
            << QStringList{"line 6: after_reset is default or dhcp, not \"static\".", "line 9: no user.",
                           "line 9: the address 127.0.0.80 is on line 4 already."};
        QTest::newRow("another header") << QByteArray("address,user,password,backup,after_reset\n") + good
                                        << QStringList{"line 1: the header must read "
                                                       "address,user,password_file,backup,after_reset, not "
                                                       "\"address,user,password,backup,after_reset\"."};
        QTest::newRow("no header") << QByteArray("# nothing yet\n\n")
                                   << QStringList{"no header: the first line must read "
                                                  "address,user,password_file,backup,after_reset."};
        QTest::newRow("no switch") << kHeader + "# all moved\n"
                                   << QStringList{"no switch: the inventory has a header and no row."};
    }
    void badRows()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, errors);
        for (QString &error : errors)
            error = inDir(error);
        const TInventory inventory = parseInventory(text, m_dir.path());
        QCOMPARE(inventory.Errors, errors);
        // A bad row never passes for a switch to run.
        for (const TInventoryEntry &entry : inventory.Switches)
            QVERIFY(!inventory.Errors.join('\n').contains(QString("line %1:").arg(entry.Line)));
    }

    // A spreadsheet's export: a byte order mark, CRLF, quoted fields; paths relative to the
    // inventory's folder or absolute; the password is the file's first line.
    void goodRows()
    {
        const QByteArray text = "\xef\xbb\xbf" + QByteArray(kHeader).replace("\n", "\r\n")
            + "# core\r\n127.0.0.80,admin,admin.pass,cfg/a.cfg,default\r\n\r\n"
            + "  127.0.0.81 , \"ad,\"\"min\" ,\"" + m_dir.filePath("admin.pass").toUtf8() + "\",\"cfg/b, 2.cfg\",dhcp\r\n";
        const TInventory inventory = parseInventory(text, m_dir.path());
        QCOMPARE(inventory.Errors, QStringList());
        QCOMPARE(inventory.Switches.size(), 2);
        const TInventoryEntry &first = inventory.Switches[0];
        QCOMPARE(first.Line, 3);
        QCOMPARE(first.Address, QString("127.0.0.80"));
        QCOMPARE(first.UserName, QString("admin"));
        QCOMPARE(first.Password, QString("s3cret pw"));
        QCOMPARE(first.BackupPath, m_dir.filePath("cfg/a.cfg"));
        QVERIFY(!first.DhcpAfterReset);
        const TInventoryEntry &second = inventory.Switches[1];
        QCOMPARE(second.Line, 5);
        QCOMPARE(second.Address, QString("127.0.0.81"));
        QCOMPARE(second.UserName, QString("ad,\"min"));
        QCOMPARE(second.Password, QString("s3cret pw"));
        QCOMPARE(second.BackupPath, m_dir.filePath("cfg/b, 2.cfg"));
        QVERIFY(second.DhcpAfterReset);
    }

    void unreadableFile()
    {
        const TInventory inventory = readInventory(m_dir.filePath("missing.csv"));
        QCOMPARE(inventory.Errors,
                 QStringList{inDir("the inventory DIR/missing.csv cannot be read: No such file or directory.")});
        QVERIFY(inventory.Switches.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestInventory)
#include "tst_inventory.moc"
