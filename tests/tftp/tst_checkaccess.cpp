#include "tftp/CheckAccess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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
        // Such a name would break the log's lines or make a file that no one can type.
        QTest::newRow("newline") << root << "a\nb" << false << "/tmp/Quillo/a\nb";
        QTest::newRow("escape sequence") << root << "\x1b[2Jx" << false << "/tmp/Quillo/\x1b[2Jx";
        QTest::newRow("tab") << root << "a\tb" << false << "/tmp/Quillo/a\tb";
        QTest::newRow("delete") << root << "a\x7f" << false << "/tmp/Quillo/a\x7f";
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

    // Links inside the root lead only where their real location lies: another user may have
    // prepared the root's folder before the server starts.
    void links_data()
    {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<bool>("granted");
        QTest::newRow("link to a file outside") << "out-file" << false;
        QTest::newRow("through a link to a folder outside") << "out-dir/secret.txt" << false;
        QTest::newRow("new file through a link to a folder outside") << "out-dir/new.txt" << false;
        QTest::newRow("dangling link to outside") << "dangling-out" << false;
        QTest::newRow("link to a file inside") << "in-file" << true;
        QTest::newRow("dangling link to inside") << "dangling-in" << true;
        QTest::newRow("through a link to a folder inside") << "in-dir/inside.txt" << true;
        QTest::newRow("plain file") << "inside.txt" << true;
        QTest::newRow("new file") << "new.txt" << true;
    }
    void links()
    {
        QFETCH(QString, requested);
        QFETCH(bool, granted);
        const QTemporaryDir base;
        const QString root = base.filePath(QStringLiteral("root"));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/sub")));
        QVERIFY(QDir().mkpath(base.filePath(QStringLiteral("outside"))));
        for (const QString &file : {base.filePath(QStringLiteral("outside/secret.txt")), root + QStringLiteral("/inside.txt")}) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QList<std::pair<QString, QString>> links{
            {QStringLiteral("out-file"), QStringLiteral("../outside/secret.txt")},
            {QStringLiteral("out-dir"), QStringLiteral("../outside")},
            {QStringLiteral("dangling-out"), QStringLiteral("../outside/absent.txt")},
            {QStringLiteral("in-file"), QStringLiteral("inside.txt")},
            {QStringLiteral("dangling-in"), QStringLiteral("absent.txt")},
            {QStringLiteral("in-dir"), QStringLiteral(".")},
        };
        for (const auto &[name, target] : links)
            QVERIFY(QFile::link(target, root + QLatin1Char('/') + name));

        QString name = requested;
        QCOMPARE(CheckAccess(name, root), granted);
        QCOMPARE(name, root + QLatin1Char('/') + requested);
        // The same through a root that is itself reached by a link.
        const QString linkedRoot = base.filePath(QStringLiteral("root-link"));
        QVERIFY(QFile::link(root, linkedRoot));
        name = requested;
        QCOMPARE(CheckAccess(name, linkedRoot), granted);
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
