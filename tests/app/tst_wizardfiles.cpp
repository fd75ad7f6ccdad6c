#include "app/files/WizardFiles.h"
#include "payload/ExeStrm.h"

#include "TestFiles.h"

#include <QtTest>

// The main window's file work without a window: the log's rotation beside the configuration
// file, and what start-up unpacks from a payload.
class TestWizardFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList files(const QString &folder) const { return QDir(path(folder)).entryList(QDir::Files, QDir::Name); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkpath("cfg"));
        QVERIFY(QDir(m_dir->path()).mkpath("work"));
    }

    // Existing files beside the configuration file, named by what follows "Quillo_127.0.0.5":
    // which of them hold the earlier run after the first save, and what the folder holds after
    // a second save of the same run.
    void logRotation_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("earlierRunIn");
        QTest::addColumn<QStringList>("after");

        const QString log = "Quillo_127.0.0.5.log";
        QStringList allTaken{log};
        for (int n = 1; n <= 10; ++n)
            allTaken << QString("Quillo_127.0.0.5.old%1.log").arg(n);
        std::sort(allTaken.begin(), allTaken.end());

        QTest::newRow("first run") << QStringList{} << "" << QStringList{log};
        QTest::newRow("an earlier log moves to old1")
            << QStringList{log} << "Quillo_127.0.0.5.old1.log" << QStringList{log, "Quillo_127.0.0.5.old1.log"};
        QTest::newRow("the first free name, old2")
            << QStringList{log, "Quillo_127.0.0.5.old1.log"} << "Quillo_127.0.0.5.old2.log"
            << QStringList{log, "Quillo_127.0.0.5.old1.log", "Quillo_127.0.0.5.old2.log"};
        QTest::newRow("all ten taken: overwritten") << allTaken << "" << allTaken;
    }
    void logRotation()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, earlierRunIn);
        QFETCH(QStringList, after);
        for (const QString &name : existing)
            QVERIFY(writeFile(path("cfg/" + name), "earlier run\n"));

        TRunLogFiles logFiles;
        logFiles.save("127.0.0.5", path("cfg/sw.txt"), {"first", "line"}, path("work/"));
        logFiles.save("127.0.0.5", path("cfg/sw.txt"), {"first", "line", "third"}, path("work/"));

        QCOMPARE(files("cfg"), after);
        QCOMPARE(readFile(path("cfg/Quillo_127.0.0.5.log")), QByteArray("first\nline\nthird\n"));
        QCOMPARE(readFile(path("work/Quillo_127.0.0.5.log")), QByteArray("first\nline\nthird\n"));
        if (!earlierRunIn.isEmpty())
            QCOMPARE(readFile(path("cfg/" + earlierRunIn)), QByteArray("earlier run\n"));
    }

    void nothingIsWrittenWithoutAddressOrConfigurationFile_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("configFile");
        QTest::newRow("no address") << "" << "cfg/sw.txt";
        QTest::newRow("no configuration file") << "127.0.0.5" << "";
    }
    void nothingIsWrittenWithoutAddressOrConfigurationFile()
    {
        QFETCH(QString, address);
        QFETCH(QString, configFile);
        QVERIFY(writeFile(path("cfg/Quillo_127.0.0.5.log"), "earlier run\n"));
        TRunLogFiles logFiles;
        logFiles.save(address, configFile.isEmpty() ? QString() : path(configFile), {"line"}, path("work/"));
        QCOMPARE(files("cfg"), QStringList{"Quillo_127.0.0.5.log"});
        QVERIFY(files("work").isEmpty());

        // The rotation waits for the first save that writes.
        logFiles.save("127.0.0.5", path("cfg/sw.txt"), {"line"}, path("work/"));
        QCOMPARE(readFile(path("cfg/Quillo_127.0.0.5.old1.log")), QByteArray("earlier run\n"));
    }

    void payloadExtraction_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("extracted");
        QTest::newRow("table and documents")
            << QStringList{"private.ini", "Upgrade1.pdf", "Upgrade2.pdf", "Upgrade3.pdf", "image.img"}
            << QStringList{"Upgrade1.pdf", "Upgrade2.pdf", "Upgrade3.pdf", "private.ini"};
        QTest::newRow("table, one document") << QStringList{"private.ini", "Upgrade2.pdf"}
                                             << QStringList{"Upgrade2.pdf", "private.ini"};
        QTest::newRow("documents without a table")
            << QStringList{"Upgrade1.pdf", "Upgrade2.pdf", "Upgrade3.pdf"} << QStringList{};
    }
    void payloadExtraction()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, extracted);
        QList<QPair<QString, QByteArray>> payload;
        for (const QString &name : stored)
            payload.append({name, name == "private.ini" ? QByteArray("[a]\r\nImageFile=x\r\n") : name.toLatin1()});
        const TEXEAppendixFileSystem store(packFixture(m_dir->path(), "program", payload));

        extractPayloadFiles(store, path("work/"));
        QCOMPARE(files("work"), extracted);
        for (const QString &name : extracted) {
            // The table is written as text lines, each ended by a line feed.
            QCOMPARE(readFile(path("work/" + name)), name == "private.ini" ? QByteArray("[a]\nImageFile=x\n") : name.toLatin1());
        }
    }
};

QTEST_GUILESS_MAIN(TestWizardFiles)
#include "tst_wizardfiles.moc"
