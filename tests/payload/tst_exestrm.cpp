#include "AppendixBytes.h"
#include "TestFiles.h"
#include "Thrown.h"

#include "payload/ExeStrm.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using Mode = TExeAppendixStream::AccessMode;

namespace {

const QByteArray ProgramImage = QByteArray("\x7f" "ELF program image ").repeated(40);

// An executable with an appendix, laid out byte by byte here rather than by the packer:
// junk in the reserved field, leftovers of longer names after each stored name, and the
// data in reverse directory order with a gap before each file.
QByteArray layOut(const QByteArray &program, const QList<StoredFile> &entries)
{
    const int count = int(entries.size());
    const quint32 dataStart = 4 + count * 263;
    QList<quint32> offsets(count);
    QByteArray data;
    for (int i = count - 1; i >= 0; --i) {
        data += "#gap#";
        offsets[i] = dataStart + data.size();
        data += entries[i].data;
    }
    QByteArray appendix = le16(quint16(count)) + le16(0xBEEF);
    for (int i = 0; i < count; ++i) {
        QByteArray field = char(entries[i].name.size()) + entries[i].name;
        while (field.size() < 255)
            field += "leftover-of-an-older-name.pdf ";
        appendix += field.left(255) + le32(quint32(entries[i].data.size())) + le32(offsets[i]);
    }
    return program + appendix + data + '\0' + "dream co" + le32(quint32(program.size()));
}

// Overwrites the size and offset of one directory entry.
QByteArray withLocation(QByteArray file, int index, quint32 size, quint32 offset)
{
    file.replace(ProgramImage.size() + 4 + index * 263 + 255, 8, le32(size) + le32(offset));
    return file;
}

const QByteArray LongName(254, 'n');

const QList<StoredFile> Entries = {
    {"Private.ini", "stored with capitals"},
    {"private.ini", "[1.3.6.1.4.1.99999.1.1.24]\n"},
    {"image.img", "first image"},
    {"image.img", "second image"},
    {"empty", ""},
    {LongName, "longest name"},
};

} // namespace

class TestExeStrm final : public QObject
{
    Q_OBJECT

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        if (!writeFile(path, bytes))
            qFatal("cannot write the fixture %s", qPrintable(path));
        return path;
    }

    QTemporaryDir m_dir;

private slots:
    void findsStoredNames_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("data");

        QTest::newRow("stored name") << "private.ini" << 1 << Entries[1].data;
        QTest::newRow("request lowered") << "Private.INI" << 1 << Entries[1].data;
        QTest::newRow("stored capitals never match") << "Private.ini" << 1 << Entries[1].data;
        QTest::newRow("first of two equal names") << "IMAGE.IMG" << 2 << Entries[2].data;
        QTest::newRow("size 0") << "empty" << 4 << QByteArray();
        QTest::newRow("254 characters") << QString::fromLatin1(LongName) << 5 << Entries[5].data;
        QTest::newRow("prefix of a name") << "private" << -1 << QByteArray();
        QTest::newRow("name with leftovers") << "private.inileftover" << -1 << QByteArray();
        QTest::newRow("empty request") << "" << -1 << QByteArray();
    }

    void findsStoredNames()
    {
        QFETCH(QString, request);
        QFETCH(int, index);
        QFETCH(QByteArray, data);
        const QString path = write(QStringLiteral("names.exe"), layOut(ProgramImage, Entries));

        TExeAppendixStream stream(path, Mode::Read);
        QCOMPARE(stream.FindEntry(request), index);

        const TEXEAppendixFileSystem files(path);
        QVERIFY(files.HasAppendix());
        QCOMPARE(files.FileExists(request), index >= 0);
        const std::unique_ptr<QBuffer> file = files.OpenFile(request, Mode::Read);
        QCOMPARE(file != nullptr, index >= 0);
        if (file) {
            QCOMPARE(file->pos(), 0);
            QVERIFY(file->isReadable());
            QCOMPARE(file->readAll(), data);
        }
    }

    void recognisesTrailer_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("appendix");

        const QByteArray base = le32(quint32(ProgramImage.size()));
        QTest::newRow("magic") << ProgramImage + "dream co" + base << true;
        QTest::newRow("capital letter") << ProgramImage + "Dream co" + base << false;
        QTest::newRow("last byte differs") << ProgramImage + "dream cO" + base << false;
        QTest::newRow("no blank") << ProgramImage + "dream_co" + base << false;
        QTest::newRow("magic one byte too late") << ProgramImage + "xdream co" + base.left(3) << false;
        QTest::newRow("shorter than a trailer") << QByteArray("dream co") + base.left(3) << false;
        QTest::newRow("empty file") << QByteArray() << false;
    }

    void recognisesTrailer()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, appendix);
        const QString path = write(QStringLiteral("trailer.exe"), file);

        QCOMPARE(TEXEAppendixFileSystem(path).HasAppendix(), appendix);
        TExeAppendixStream stream(path, Mode::Read);
        QCOMPARE(stream.HasAppendix(), appendix);
        QCOMPARE(stream.Base(), appendix ? quint32(ProgramImage.size()) : quint32(file.size()));
    }

    void fileWithoutAppendixFailsLookups()
    {
        const QString path = write(QStringLiteral("plain.exe"), ProgramImage);
        const TEXEAppendixFileSystem files(path);

        QVERIFY(!files.HasAppendix());
        QCOMPARE(thrownMessage<EReadError>([&] { files.FileExists(QStringLiteral("private.ini")); }),
                 QStringLiteral("Stream read error"));
        QCOMPARE(thrownMessage<EReadError>([&] { files.OpenFile(QStringLiteral("private.ini"), Mode::Read); }),
                 QStringLiteral("Stream read error"));
    }

    void positionsCountFromBase()
    {
        const QByteArray file = layOut(ProgramImage, Entries);
        const QString path = write(QStringLiteral("positions.exe"), file);
        TExeAppendixStream stream(path, Mode::Read);

        QCOMPARE(stream.Base(), quint32(ProgramImage.size()));
        QCOMPARE(stream.pos(), 0);
        QCOMPARE(stream.size(), file.size() - ProgramImage.size());
        QCOMPARE(stream.readAll(), file.mid(ProgramImage.size()));

        QVERIFY(stream.seek(stream.size() - 12));
        QCOMPARE(stream.read(8), QByteArray("dream co"));
        QVERIFY(stream.seek(0));
        QCOMPARE(stream.ReadBuffer(2), le16(quint16(Entries.size())));
        QCOMPARE(stream.pos(), 2);
    }

    void entryBeyondFileIsReadError_data()
    {
        QTest::addColumn<quint32>("size");
        QTest::addColumn<quint32>("offset");
        QTest::addColumn<bool>("readable");

        const quint32 appendixSize = quint32(layOut(ProgramImage, Entries).size() - ProgramImage.size());
        QTest::newRow("up to the trailer's last byte") << 12u << appendixSize - 12 << true;
        QTest::newRow("one byte past the end") << 13u << appendixSize - 12 << false;
        QTest::newRow("offset past the end") << 1u << appendixSize + 1 << false;
        QTest::newRow("largest size and offset") << 0xFFFFFFFFu << 0xFFFFFFFFu << false;
    }

    void entryBeyondFileIsReadError()
    {
        QFETCH(quint32, size);
        QFETCH(quint32, offset);
        QFETCH(bool, readable);
        const QString path = write(QStringLiteral("beyond.exe"), withLocation(layOut(ProgramImage, Entries), 1, size, offset));
        const TEXEAppendixFileSystem files(path);

        if (readable) {
            const std::unique_ptr<QBuffer> file = files.OpenFile(QStringLiteral("private.ini"), Mode::Read);
            QVERIFY(file);
            QCOMPARE(file->data().right(12).left(8), QByteArray("dream co"));
        } else {
            QCOMPARE(thrownMessage<EReadError>([&] { files.OpenFile(QStringLiteral("private.ini"), Mode::Read); }),
                     QStringLiteral("Stream read error"));
        }
    }

    void truncatedDirectoryIsReadError()
    {
        // The count promises six entries; the file ends inside the third.
        const QByteArray file = layOut(ProgramImage, Entries);
        const QByteArray cut = file.left(ProgramImage.size() + 4 + 2 * 263 + 100);
        const QString path = write(QStringLiteral("cut.exe"), cut + "dream co" + le32(quint32(ProgramImage.size())));
        const TEXEAppendixFileSystem files(path);

        QVERIFY(files.FileExists(QStringLiteral("private.ini")));
        QCOMPARE(thrownMessage<EReadError>([&] { files.FileExists(QStringLiteral("empty")); }),
                 QStringLiteral("Stream read error"));
    }

    void openFileForWritingGivesNone_data()
    {
        QTest::addColumn<Mode>("access");
        QTest::newRow("write") << Mode::Write;
        QTest::newRow("read-write") << Mode::ReadWrite;
    }

    void openFileForWritingGivesNone()
    {
        QFETCH(Mode, access);
        const QByteArray file = layOut(ProgramImage, Entries);
        const QString path = write(QStringLiteral("readonly.exe"), file);

        QVERIFY(!TEXEAppendixFileSystem(path).OpenFile(QStringLiteral("private.ini"), access));
        QCOMPARE(readFile(path), file);
    }

    void writingSide_data()
    {
        QTest::addColumn<bool>("withAppendix");
        QTest::addColumn<bool>("modified");

        QTest::newRow("appendix replaced, trailer") << true << true;
        QTest::newRow("appendix cut, no trailer") << true << false;
        QTest::newRow("appended to a plain file, trailer") << false << true;
        QTest::newRow("appended to a plain file, no trailer") << false << false;
    }

    void writingSide()
    {
        QFETCH(bool, withAppendix);
        QFETCH(bool, modified);
        const QString path = write(QStringLiteral("write.exe"), withAppendix ? layOut(ProgramImage, Entries) : ProgramImage);
        const QByteArray written = "fresh appendix";
        {
            TExeAppendixStream stream(path, Mode::Write);
            QCOMPARE(stream.Base(), quint32(ProgramImage.size()));
            QCOMPARE(QFileInfo(path).size(), ProgramImage.size());
            QCOMPARE(stream.size(), 0);
            QVERIFY(!stream.Modified());
            stream.WriteBuffer(written);
            QCOMPARE(stream.pos(), written.size());
            stream.SetModified(modified);
        }
        const QByteArray trailer = modified ? "dream co" + le32(quint32(ProgramImage.size())) : QByteArray();
        QCOMPARE(readFile(path), ProgramImage + written + trailer);
    }

    void openFailureNamesTheFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("missing.exe"));
        const QString expected = QStringLiteral("Cannot open file ") + path;
        const TEXEAppendixFileSystem files(path);

        QCOMPARE(thrownMessage<EFOpenError>([&] { files.HasAppendix(); }), expected);
        QCOMPARE(thrownMessage<EFOpenError>([&] { files.FileExists(QStringLiteral("a")); }), expected);
        QCOMPARE(thrownMessage<EFOpenError>([&] { files.OpenFile(QStringLiteral("a"), Mode::Read); }), expected);
        QCOMPARE(thrownMessage<EFOpenError>([&] { TExeAppendixStream{path, Mode::Write}; }), expected);
        QVERIFY(!QFileInfo::exists(path));
    }

    void writerExcludesOtherStreams()
    {
        const QString path = write(QStringLiteral("shared.exe"), layOut(ProgramImage, Entries));
        const QString expected = QStringLiteral("Cannot open file ") + path;
        const TEXEAppendixFileSystem files(path);
        {
            TExeAppendixStream reader(path, Mode::Read);
            QVERIFY(files.FileExists(QStringLiteral("private.ini")));
            QCOMPARE(thrownMessage<EFOpenError>([&] { TExeAppendixStream{path, Mode::ReadWrite}; }), expected);
        }
        TExeAppendixStream writer(path, Mode::ReadWrite);
        QCOMPARE(thrownMessage<EFOpenError>([&] { files.HasAppendix(); }), expected);
        QCOMPARE(thrownMessage<EFOpenError>([&] { TExeAppendixStream{path, Mode::Write}; }), expected);
    }
};

QTEST_GUILESS_MAIN(TestExeStrm)
#include "tst_exestrm.moc"
