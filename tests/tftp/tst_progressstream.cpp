#include "TestData.h"
#include "TestFiles.h"

#include "tftp/ProgressStream.h"

#include <QTemporaryDir>
#include <QtTest>

// The file a transfer reads block by block. It fetches far more than a block at a time, so
// the blocks must still come out as the file holds them: across the edges of what it
// fetched, after a seek, and up to the end, where the last read must tell a progress window.
class TestProgressStream : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void readsTheFileAsItIs_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("blockSize");
        // Where to go after the first block; -1 reads on without a seek.
        QTest::addColumn<qint64>("seekTo");

        QTest::newRow("512-byte blocks over several fetches") << qint64(200000) << 512 << qint64(-1);
        QTest::newRow("1468-byte blocks, the file ends where a fetch does") << qint64(131072) << 1468 << qint64(-1);
        QTest::newRow("largest blocks") << qint64(200000) << 65464 << qint64(-1);
        QTest::newRow("blocks larger than a fetch") << qint64(200000) << 100000 << qint64(-1);
        QTest::newRow("a multiple of the block, ending with an empty read") << qint64(5120) << 512 << qint64(-1);
        QTest::newRow("empty file") << qint64(0) << 512 << qint64(-1);
        QTest::newRow("back to the start") << qint64(200000) << 1468 << qint64(0);
        QTest::newRow("ahead within what was fetched") << qint64(200000) << 512 << qint64(1000);
        QTest::newRow("ahead past what was fetched") << qint64(200000) << 512 << qint64(70001);
    }
    void readsTheFileAsItIs()
    {
        QFETCH(qint64, size);
        QFETCH(int, blockSize);
        QFETCH(qint64, seekTo);
        const QByteArray content = pattern(size, 3);
        const QString path = m_dir.filePath(QStringLiteral("file.bin"));
        QVERIFY(writeFile(path, content));

        TProgressStream stream(path);
        QVERIFY(stream.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        QByteArray block(blockSize, Qt::Uninitialized);
        const qint64 first = stream.read(block.data(), blockSize);
        QCOMPARE(first, std::min<qint64>(size, blockSize));
        QCOMPARE(block.left(first), content.left(first));
        if (seekTo >= 0)
            QVERIFY(stream.seek(seekTo));
        const qint64 from = seekTo >= 0 ? seekTo : first;

        QByteArray rest;
        if (seekTo >= 0 || first == blockSize) {
            qint64 read = 0;
            do {
                // Clears what earlier reads signalled: the check below sees the last read alone.
                stream.Progressed().wait(0);
                read = stream.read(block.data(), blockSize);
                QVERIFY(read >= 0);
                rest += block.left(read);
            } while (read == blockSize);
        }
        QCOMPARE(rest, content.mid(from));
        QCOMPARE(stream.pos(), size);
        QVERIFY2(stream.Progressed().wait(0), "the read that meets the end signals its progress");
    }
};

QTEST_GUILESS_MAIN(TestProgressStream)
#include "tst_progressstream.moc"
