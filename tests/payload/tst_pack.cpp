#include "AppendixBytes.h"
#include "TestFiles.h"
#include "TestPaths.h"

#include "payload/ExeStrm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// What the packer must write: the program, the directory with zero-filled name fields, the
// data in directory order, one zero byte and the trailer.
QByteArray expected(const QByteArray &program, const QList<StoredFile> &entries)
{
    quint32 offset = 4 + entries.size() * 263;
    QByteArray directory = le16(quint16(entries.size())) + le16(0);
    QByteArray data;
    for (const StoredFile &entry : entries) {
        QByteArray field = char(entry.name.size()) + entry.name;
        field.resize(255, '\0');
        directory += field + le32(quint32(entry.data.size())) + le32(offset);
        offset += entry.data.size();
        data += entry.data;
    }
    return program + directory + data + '\0' + "dream co" + le32(quint32(program.size()));
}

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run runTool(const QString &program, const QStringList &arguments, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

const QByteArray Program = QByteArray("\x7f" "ELF stand-in program ").repeated(100);
const QByteArray TableText = "[1.3.6.1.4.1.99999.1.1.24]\nImageFile= a.img\n";
const QByteArray ImageBytes = QByteArray("\x00\x01\xfe\xff image ", 12).repeated(50);

} // namespace

class TestPack final : public QObject
{
    Q_OBJECT

private:
    void write(const QString &name, const QByteArray &bytes) { QVERIFY(writeFile(m_dir.filePath(name), bytes)); }
    QByteArray read(const QString &name) { return readFile(m_dir.filePath(name)); }

    Run pack(const QStringList &arguments)
    {
        return runTool(binPath(QStringLiteral("tessaro-pack")), arguments, m_dir.path());
    }

    QTemporaryDir m_dir;

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_dir.path()));
        write(QStringLiteral("program"), Program);
        QVERIFY(QFile::setPermissions(m_dir.filePath(QStringLiteral("program")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        write(QStringLiteral("table.ini"), TableText);
        write(QStringLiteral("image.bin"), ImageBytes);
        write(QStringLiteral("empty"), QByteArray());
    }

    void packsInDirectoryOrder()
    {
        const Run run = pack({"--exe", "program", "--out", "packed", "Private.INI=table.ini",
                              "A.img=image.bin", "empty.txt=empty"});
        QVERIFY2(run.status == 0, qPrintable(run.err));

        const QList<StoredFile> entries = {{"private.ini", TableText}, {"a.img", ImageBytes}, {"empty.txt", {}}};
        QCOMPARE(read(QStringLiteral("packed")), expected(Program, entries));
        QVERIFY(QFileInfo(m_dir.filePath(QStringLiteral("packed"))).permissions() & QFile::ExeOwner);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 5);
    }

    void repackingReplacesTheAppendix()
    {
        QCOMPARE(pack({"--exe", "program", "--out", "packed", "old.bin=image.bin"}).status, 0);
        const Run run = pack({"--exe", "packed", "--out", "packed", "private.ini=table.ini"});
        QVERIFY2(run.status == 0, qPrintable(run.err));

        QCOMPARE(read(QStringLiteral("packed")), expected(Program, {{"private.ini", TableText}}));
    }

    void listsNamesSizesAndOffsets()
    {
        QCOMPARE(pack({"--exe", "program", "--out", "packed", "Private.INI=table.ini", "a.img=image.bin"}).status, 0);
        const Run run = pack({"--list", "packed"});
        QCOMPARE(run.status, 0);

        const QString directoryEnd = QString::number(4 + 2 * 263);
        const QString imageOffset = QString::number(4 + 2 * 263 + TableText.size());
        QVERIFY2(run.out.contains(QRegularExpression(QStringLiteral("\\bprivate\\.ini +%1 +%2\\n")
                                                         .arg(TableText.size()).arg(directoryEnd))), qPrintable(run.out));
        QVERIFY2(run.out.contains(QRegularExpression(QStringLiteral("\\ba\\.img +%1 +%2\\n")
                                                         .arg(ImageBytes.size()).arg(imageOffset))), qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("appendix at byte %1, 2 entries").arg(Program.size())), qPrintable(run.out));
    }

    void listSaysWhenThereIsNoAppendix()
    {
        const Run run = pack({"--list", "program"});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.out.contains(QStringLiteral("has no appendix")), qPrintable(run.out));
    }

    void badInputWritesNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");

        const QString tooLong = QString(255, QLatin1Char('n')) + QStringLiteral("=table.ini");
        QTest::newRow("missing program") << QStringList{"--exe", "nothing", "--out", "packed", "a=table.ini"} << "cannot read 'nothing'";
        QTest::newRow("missing data file") << QStringList{"--exe", "program", "--out", "packed", "a=nothing"} << "cannot read 'nothing'";
        QTest::newRow("no equals sign") << QStringList{"--exe", "program", "--out", "packed", "table.ini"} << "expected NAME=PATH";
        QTest::newRow("empty name") << QStringList{"--exe", "program", "--out", "packed", "=table.ini"} << "expected NAME=PATH";
        QTest::newRow("empty path") << QStringList{"--exe", "program", "--out", "packed", "a="} << "expected NAME=PATH";
        QTest::newRow("name of 255 bytes") << QStringList{"--exe", "program", "--out", "packed", tooLong} << "at most 254 fit";
        QTest::newRow("same name twice") << QStringList{"--exe", "program", "--out", "packed", "A=table.ini", "a=empty"} << "given twice";
        QTest::newRow("no files") << QStringList{"--exe", "program", "--out", "packed"} << "nothing to pack";
        QTest::newRow("no output") << QStringList{"--exe", "program", "a=table.ini"} << "give --exe IN --out OUT";
        QTest::newRow("output folder missing") << QStringList{"--exe", "program", "--out", "no/packed", "a=table.ini"} << "cannot create a file beside";
        QTest::newRow("unknown option") << QStringList{"--exe", "program", "--out", "packed", "--zip", "a=table.ini"} << "Unknown option 'zip'";
        QTest::newRow("list with files") << QStringList{"--list", "program", "a=table.ini"} << "--list takes one file";
    }

    void badInputWritesNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const QStringList before = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        const Run run = pack(arguments);
        QVERIFY(run.status > 0);
        QVERIFY2(run.err.startsWith(QStringLiteral("tessaro-pack: ")) && run.err.contains(message), qPrintable(run.err));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    }

    void failureKeepsTheEarlierOutput()
    {
        write(QStringLiteral("packed"), "earlier output");
        QVERIFY(pack({"--exe", "program", "--out", "packed", "a=table.ini", "b=nothing"}).status > 0);
        QCOMPARE(read(QStringLiteral("packed")), QByteArray("earlier output"));
    }

    void buildPacksTheDemoPayload()
    {
        const Run run = runTool(binPath(QStringLiteral("tessaro-pack")), {"--list", binPath(QStringLiteral("tessaro"))}, m_dir.path());
        QVERIFY2(run.status == 0, qPrintable(run.err + run.out));

        const QString table = QStringLiteral(TESSARO_ASSETS_DIR "/private.ini");
        const QList<QPair<QString, qint64>> expected = {
            {"private.ini", QFileInfo(table).size()}, {"sim_ge-interim.img", 3500373},
            {"sim_fe-interim.img", 3656697},          {"sim_fe-746.img", 5369014},
            {"sim_ge-746.img", 5421431},              {"upgrade1.pdf", -1},
            {"upgrade2.pdf", -1},                     {"upgrade3.pdf", -1},
        };
        QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == 2 + expected.size(), qPrintable(run.out));
        lines = lines.mid(2);
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const QStringList fields = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
            QCOMPARE(fields.size(), 3);
            QCOMPARE(fields[0], expected[i].first);
            if (expected[i].second >= 0)
                QCOMPARE(fields[1].toLongLong(), expected[i].second);
            else
                QVERIFY2(fields[1].toLongLong() > 10000, qPrintable(lines[i]));
        }
    }

    void packedTableNamesPackedImages()
    {
        QFile source(QStringLiteral(TESSARO_ASSETS_DIR "/private.ini"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray table = source.readAll();
        const TEXEAppendixFileSystem files(binPath(QStringLiteral("tessaro")));
        const std::unique_ptr<QBuffer> packed = files.OpenFile(QStringLiteral("private.ini"), TExeAppendixStream::AccessMode::Read);
        QVERIFY(packed);
        QCOMPARE(packed->data(), table);

        // Every section in use names images that travel with it; a retired one ("--") need not.
        int named = 0;
        bool inUse = false;
        const QRegularExpression section(QStringLiteral("^\\[(.*)\\]$"));
        const QRegularExpression image(QStringLiteral("^ImageFile(746)? *= *(\\S+)$"), QRegularExpression::CaseInsensitiveOption);
        for (const QString &line : QString::fromUtf8(table).split(QLatin1Char('\n'))) {
            if (const auto match = section.match(line.trimmed()); match.hasMatch())
                inUse = !match.captured(1).endsWith(QStringLiteral("--"));
            else if (const auto match = image.match(line.trimmed()); match.hasMatch() && inUse) {
                QVERIFY2(files.FileExists(match.captured(2)), qPrintable(match.captured(2)));
                ++named;
            }
        }
        QCOMPARE(named, 8);
    }

    void packedProgramStarts()
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("TMPDIR"), m_dir.path());
        program.setProcessEnvironment(environment);
        program.start(binPath(QStringLiteral("tessaro")), {});
        QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));
        // A program the loader rejects, or that trips over its own file, is gone by now.
        QVERIFY(!program.waitForFinished(3000));
        QCOMPARE(program.state(), QProcess::Running);
        program.kill();
        QVERIFY(program.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestPack)
#include "tst_pack.moc"
