#include "AppendixBytes.h"
#include "TestFiles.h"
#include "TestPaths.h"

#include "payload/ExeStrm.h"
#include "payload/PayloadDigests.h"

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

// What the upgrade procedure decides for an image it extracts from program: why it refuses
// it, or empty.
QString extractionProblem(const QString &program, const QString &name)
{
    const TEXEAppendixFileSystem files(program);
    const std::unique_ptr<QBuffer> image = files.OpenFile(name, TExeAppendixStream::AccessMode::Read);
    if (!image)
        return "<no file " + name + " in the payload>";
    const std::unique_ptr<QBuffer> list = files.OpenFile(kDigestListName, TExeAppendixStream::AccessMode::Read);
    return digestProblem(list ? std::optional(list->data()) : std::nullopt, name, image->data());
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

        const QByteArray digests = digestLine("private.ini", TableText) + digestLine("a.img", ImageBytes) + digestLine("empty.txt", {});
        const QList<StoredFile> entries = {{"private.ini", TableText}, {"a.img", ImageBytes}, {"empty.txt", {}}, {"digests.sha256", digests}};
        QCOMPARE(read(QStringLiteral("packed")), expected(Program, entries));
        QVERIFY(QFileInfo(m_dir.filePath(QStringLiteral("packed"))).permissions() & QFile::ExeOwner);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 5);
    }

    void repackingReplacesTheAppendix()
    {
        QCOMPARE(pack({"--exe", "program", "--out", "packed", "old.bin=image.bin"}).status, 0);
        const Run run = pack({"--exe", "packed", "--out", "packed", "private.ini=table.ini"});
        QVERIFY2(run.status == 0, qPrintable(run.err));

        QCOMPARE(read(QStringLiteral("packed")),
                 expected(Program, {{"private.ini", TableText}, {"digests.sha256", digestLine("private.ini", TableText)}}));
    }

    void listsNamesSizesAndOffsets()
    {
        QCOMPARE(pack({"--exe", "program", "--out", "packed", "Private.INI=table.ini", "a.img=image.bin"}).status, 0);
        const Run run = pack({"--list", "packed"});
        QCOMPARE(run.status, 0);

        const QString directoryEnd = QString::number(4 + 3 * 263);
        const QString imageOffset = QString::number(4 + 3 * 263 + TableText.size());
        QVERIFY2(run.out.contains(QRegularExpression(QStringLiteral("\\bprivate\\.ini +%1 +%2\\n")
                                                         .arg(TableText.size()).arg(directoryEnd))), qPrintable(run.out));
        QVERIFY2(run.out.contains(QRegularExpression(QStringLiteral("\\ba\\.img +%1 +%2\\n")
                                                         .arg(ImageBytes.size()).arg(imageOffset))), qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("appendix at byte %1, 3 entries").arg(Program.size())), qPrintable(run.out));
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
        QTest::newRow("name of the digest list") << QStringList{"--exe", "program", "--out", "packed", "a=table.ini", "Digests.SHA256=empty"}
                                                 << "the name 'digests.sha256' is the packer's own";
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
            {"digests.sha256", 8 * (64 + 2 + 1) + 111}, // the names above add up to 111 bytes
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

    void listsTheDigestsAsSha256sumDoes()
    {
        const Run run = pack({"--exe", "program", "--out", "packed", "Private.INI=table.ini", "A.img=image.bin",
                              "empty.txt=empty", "Dir\\A.img=image.bin"});
        QVERIFY2(run.status == 0, qPrintable(run.err));

        // sha256sum over copies named as stored, in packing order: the same bytes, escapes included.
        const QStringList stored = {"private.ini", "a.img", "empty.txt", "dir\\a.img"};
        const QList<QByteArray> bytes = {TableText, ImageBytes, {}, ImageBytes};
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("stored")));
        for (qsizetype i = 0; i < stored.size(); ++i)
            write("stored/" + stored[i], bytes[i]);
        const Run sums = runTool(QStringLiteral("sha256sum"), stored, m_dir.filePath(QStringLiteral("stored")));
        QVERIFY2(sums.status == 0, qPrintable(sums.err));

        const TEXEAppendixFileSystem files(m_dir.filePath(QStringLiteral("packed")));
        const std::unique_ptr<QBuffer> list = files.OpenFile(kDigestListName, TExeAppendixStream::AccessMode::Read);
        QVERIFY(list);
        QCOMPARE(list->data(), sums.out.toUtf8());

        // Last in the directory, and listed like any other file.
        {
            TExeAppendixStream stream(m_dir.filePath(QStringLiteral("packed")), TExeAppendixStream::AccessMode::Read);
            QCOMPARE(stream.EntryCount(), 5);
            QCOMPARE(stream.EntryName(4), QByteArray("digests.sha256"));
        }
        const Run listing = pack({"--list", "packed"});
        QCOMPARE(listing.status, 0);
        QVERIFY2(listing.out.contains(QRegularExpression(QStringLiteral("\\ndigests\\.sha256 +%1 +\\d+\\n").arg(list->size()))),
                 qPrintable(listing.out));
        QVERIFY2(listing.out.contains(QStringLiteral("5 entries")), qPrintable(listing.out));
    }

    void changedImageByteIsRefused_data()
    {
        QTest::addColumn<qint64>("offset");

        QTest::newRow("first byte") << qint64(0);
        QTest::newRow("a middle byte") << qint64(ImageBytes.size() / 2);
        QTest::newRow("last byte") << qint64(ImageBytes.size() - 1);
    }

    void changedImageByteIsRefused()
    {
        QFETCH(qint64, offset);
        const QString packed = m_dir.filePath(QStringLiteral("packed"));
        QCOMPARE(pack({"--exe", "program", "--out", "packed", "private.ini=table.ini", "sim_ge-746.img=image.bin"}).status, 0);
        QCOMPARE(extractionProblem(packed, QStringLiteral("SIM_GE-746.img")), QString());

        qint64 at = 0;
        {
            TExeAppendixStream stream(packed, TExeAppendixStream::AccessMode::Read);
            at = stream.Base() + stream.EntryLocation(stream.FindEntry(QStringLiteral("sim_ge-746.img"))).Offset + offset;
        }
        QFile file(packed);
        QVERIFY(file.open(QIODevice::ReadWrite));
        char byte = 0;
        QVERIFY(file.seek(at) && file.getChar(&byte));
        QVERIFY(file.seek(at) && file.putChar(char(byte ^ 0x20)));
        file.close();
        const std::unique_ptr<QBuffer> image = TEXEAppendixFileSystem(packed).OpenFile(QStringLiteral("sim_ge-746.img"),
                                                                                        TExeAppendixStream::AccessMode::Read);
        QVERIFY(image && image->size() == ImageBytes.size() && image->data() != ImageBytes);

        const QString problem = extractionProblem(packed, QStringLiteral("sim_ge-746.img"));
        QVERIFY2(problem.startsWith(QStringLiteral("The image sim_ge-746.img in the payload is damaged: its SHA-256 is ")),
                 qPrintable(problem));
        QCOMPARE(extractionProblem(packed, QStringLiteral("private.ini")), QString());
    }

    void checksPayloadsOfEveryBuild_data()
    {
        QTest::addColumn<bool>("hasList");
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("reason"); // empty when the image may go

        QTest::newRow("older build, no list") << false << QByteArray() << QString();
        QTest::newRow("list naming the image") << true << digestLine("private.ini", TableText) + digestLine("a.img", ImageBytes)
                                               << QString();
        QTest::newRow("list without the image") << true << digestLine("private.ini", TableText)
                                                << "The image a.img has no line in the payload's digests.sha256";
        QTest::newRow("list with other bytes for it") << true << digestLine("a.img", TableText)
                                                      << "The image a.img in the payload is damaged";
        QTest::newRow("damaged list") << true << QByteArray("a.img\n") << "The payload's digests.sha256 is damaged (line 1: ";
    }

    void checksPayloadsOfEveryBuild()
    {
        QFETCH(bool, hasList);
        QFETCH(QByteArray, list);
        QFETCH(QString, reason);

        QList<StoredFile> entries = {{"private.ini", TableText}, {"a.img", ImageBytes}};
        if (hasList)
            entries.append({"digests.sha256", list});
        write(QStringLiteral("packed"), expected(Program, entries));

        const QString problem = extractionProblem(m_dir.filePath(QStringLiteral("packed")), QStringLiteral("a.img"));
        QVERIFY2(reason.isEmpty() ? problem.isEmpty() : problem.startsWith(reason), qPrintable(problem));
    }

    void buildPayloadVouchesForItsFiles()
    {
        const QString program = binPath(QStringLiteral("tessaro"));
        QList<QByteArray> names;
        {
            TExeAppendixStream stream(program, TExeAppendixStream::AccessMode::Read);
            for (int i = 0; i < stream.EntryCount(); ++i)
                names << stream.EntryName(i);
        }
        QCOMPARE(names.takeLast(), QByteArray("digests.sha256"));

        const std::unique_ptr<QBuffer> list = TEXEAppendixFileSystem(program).OpenFile(kDigestListName,
                                                                                        TExeAppendixStream::AccessMode::Read);
        QVERIFY(list);
        QCOMPARE(list->data().count('\n'), names.size());
        for (const QByteArray &name : std::as_const(names))
            QCOMPARE(extractionProblem(program, QString::fromUtf8(name)), QString());
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
