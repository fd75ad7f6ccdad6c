#include "BackupFiles.h"

#include "TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

// A backup path that holds a file: the file moves to the first free .oldN name beside it,
// whatever numbers are taken already, and never overwrites one.
class TestBackupFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void keepEarlierBackup_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("keptAs");
        QTest::newRow("the first") << "sw.txt" << QStringList{} << "sw.old1.txt";
        QTest::newRow("the first free number") << "sw.txt" << QStringList{"sw.old1.txt", "sw.old2.txt"} << "sw.old3.txt";
        QTest::newRow("a gap is used") << "sw.txt" << QStringList{"sw.old2.txt"} << "sw.old1.txt";
        QTest::newRow("the last extension only") << "sw.conf.txt" << QStringList{} << "sw.conf.old1.txt";
        QTest::newRow("no extension") << "backup" << QStringList{"backup.old1"} << "backup.old2";
    }
    void keepEarlierBackup()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, taken);
        QFETCH(QString, keptAs);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(writeFile(path, "earlier"));
        for (const QString &other : taken)
            QVERIFY(writeFile(dir.filePath(other), other.toUtf8()));

        const TKeptBackup kept = ::keepEarlierBackup(path);
        QCOMPARE(kept.Error, QString());
        QCOMPARE(kept.KeptAs, dir.filePath(keptAs));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(readFile(kept.KeptAs), QByteArray("earlier"));
        for (const QString &other : taken)
            QCOMPARE(readFile(dir.filePath(other)), other.toUtf8());
    }

    void nothingToKeep()
    {
        const TKeptBackup kept = ::keepEarlierBackup(m_dir.filePath("none.txt"));
        QVERIFY(kept.KeptAs.isEmpty());
        QVERIFY(kept.Error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBackupFiles)
#include "tst_backupfiles.moc"
