#include "tftp/CheckAccess.h"

#include <QtTest>

// Which requested names the TFTP service lets out of its root folder.
class TestCheckAccess : public QObject
{
    Q_OBJECT

private slots:
    void checkAccess_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("requested");
        QTest::addColumn<bool>("granted");
        QTest::addColumn<QString>("expanded");

        const QString root = QStringLiteral("/tmp/Quillo/");
        QTest::newRow("plain name") << root << "conf_file.txt" << true << "/tmp/Quillo/conf_file.txt";
        QTest::newRow("sub folder") << root << "sub/x.bin" << true << "/tmp/Quillo/sub/x.bin";
        QTest::newRow("parent") << root << "../x.txt" << false << "/tmp/x.txt";
        QTest::newRow("in and out again") << root << "sub/../conf_file.txt" << true << "/tmp/Quillo/conf_file.txt";
        QTest::newRow("far out") << root << "sub/../../../etc/passwd" << false << "/etc/passwd";
        QTest::newRow("sibling with the root's name as prefix") << root << "../QuilloOld/x.txt" << false
                                                                << "/tmp/QuilloOld/x.txt";
        QTest::newRow("absolute outside") << root << "/etc/passwd" << false << "/etc/passwd";
        QTest::newRow("absolute inside") << root << "/tmp/Quillo/a.ros" << true << "/tmp/Quillo/a.ros";
        // Letter case counts on this file system: another folder, not the root.
        QTest::newRow("root in other case") << root << "/tmp/QUILLO/x" << false << "/tmp/QUILLO/x";
        QTest::newRow("parent into other case") << root << "../QUILLO/x" << false << "/tmp/QUILLO/x";
        // A backslash is a plain character of a name here: it never climbs out.
        QTest::newRow("backslash parent") << root << "..\\x.txt" << true << "/tmp/Quillo/..\\x.txt";
        QTest::newRow("backslash climb") << root << "sub\\..\\..\\x" << true << "/tmp/Quillo/sub\\..\\..\\x";
        QTest::newRow("backslash between dots") << root << "..\\../x" << true << "/tmp/Quillo/..\\../x";
        QTest::newRow("doubled separators") << root << "sub//x" << true << "/tmp/Quillo/sub/x";
        QTest::newRow("the root itself") << root << "." << false << "/tmp/Quillo";
        QTest::newRow("empty name") << root << "" << false << "/tmp/Quillo";
        QTest::newRow("root without separator") << "/tmp/Quillo" << "a" << true << "/tmp/Quillo/a";
        QTest::newRow("root with dot-dot") << "/tmp/x/../Quillo//" << "a" << true << "/tmp/Quillo/a";
        QTest::newRow("file system root") << "/" << "etc/hosts" << true << "/etc/hosts";
    }
    void checkAccess()
    {
        QFETCH(QString, root);
        QFETCH(QString, requested);
        QFETCH(bool, granted);
        QFETCH(QString, expanded);
        QCOMPARE(CheckAccess(requested, root), granted);
        QCOMPARE(requested, expanded);
    }

    void relativeRootIsExpanded()
    {
        QString name = QStringLiteral("x");
        QVERIFY(CheckAccess(name, QStringLiteral("served")));
        QCOMPARE(name, QDir::current().absoluteFilePath(QStringLiteral("served/x")));
    }
};

QTEST_APPLESS_MAIN(TestCheckAccess)
#include "tst_checkaccess.moc"
