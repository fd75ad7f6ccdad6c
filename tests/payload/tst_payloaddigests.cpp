#include "payload/PayloadDigests.h"

#include <QTest>

namespace {

// SHA-256 of "abc" (FIPS 180-2, appendix B.1), of "abd" and of no bytes at all (sha256sum's).
const QByteArray AbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const QByteArray AbdDigest = "a52d159f262b2c6ddb724a61840befc36eb30c88877a4030b65cbe86298449c9";
const QByteArray EmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

QByteArray line(const QByteArray &digest, const QByteArray &name)
{
    return digest + "  " + name + "\n";
}

// A list as the packer writes it for a payload of two images.
const QByteArray TwoImages = line(EmptyDigest, "sim_fe-746.img") + line(AbcDigest, "sim_ge-746.img");

} // namespace

class TestPayloadDigests final : public QObject
{
    Q_OBJECT

private slots:
    void readsWellFormedLists_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("name");

        const QByteArray other = line(EmptyDigest, "private.ini");
        QTest::newRow("as the packer writes it") << other + line(AbcDigest, "a.img") << "a.img";
        QTest::newRow("CRLF accepted") << QByteArray(other + line(AbcDigest, "a.img")).replace("\n", "\r\n") << "a.img";
        QTest::newRow("no newline after the last line") << other + line(AbcDigest, "a.img").chopped(1) << "a.img";
        QTest::newRow("asked for in capitals") << other + line(AbcDigest, "a.img") << "A.IMG";
        QTest::newRow("name with blanks") << other + line(AbcDigest, "an  image.img") << "an  image.img";
        // sha256sum's escapes, as coreutils writes them for these names.
        QTest::newRow("escaped backslash") << "\\" + line(AbcDigest, "dir\\\\a.img") + other << "dir\\a.img";
        QTest::newRow("escaped line break") << "\\" + line(AbcDigest, "a\\nb\\r.img") << "a\nb\r.img";
        QTest::newRow("backslash in an unescaped line") << line(AbcDigest, "dir\\a.img") << "dir\\a.img";
    }

    void readsWellFormedLists()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, name);

        const PayloadDigests digests = PayloadDigests::parse(list);
        QVERIFY2(digests.isValid(), qPrintable(digests.error()));
        QCOMPARE(digests.hexDigest(name), QString::fromLatin1(AbcDigest));
        QCOMPARE(digests.digest(name), QByteArray::fromHex(AbcDigest));
        QCOMPARE(digests.problem(name, "abc"), QString());
        QCOMPARE(digests.hexDigest(QStringLiteral("unlisted.img")), QString());
        QVERIFY(digests.digest(QStringLiteral("unlisted.img")).isEmpty());
    }

    void refusesMalformedLists_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("error");

        const QByteArray good = line(AbcDigest, "a.img");
        const QString notHex = QStringLiteral("the digest is not 64 lower-case hex digits");
        const QString noBlanks = QStringLiteral("the digest is not followed by two blanks");
        QTest::newRow("empty file") << QByteArray() << "it lists no file";
        QTest::newRow("bad hex") << line(QByteArray(AbcDigest).replace(10, 1, "g"), "a.img") << "line 1: " + notHex;
        QTest::newRow("upper-case hex") << line(AbcDigest.toUpper(), "a.img") << "line 1: " + notHex;
        QTest::newRow("short digest") << line(AbcDigest.chopped(1), "a.img") << "line 1: " + notHex;
        QTest::newRow("short digest, no name") << AbcDigest.chopped(2) + "\n" << "line 1: " + notHex;
        QTest::newRow("long digest") << line(AbcDigest + "0", "a.img") << "line 1: " + noBlanks;
        QTest::newRow("missing blanks") << AbcDigest + "a.img\n" << "line 1: " + noBlanks;
        QTest::newRow("one blank") << AbcDigest + " a.img\n" << "line 1: " + noBlanks;
        QTest::newRow("binary-mode marker") << AbcDigest + " *a.img\n" << "line 1: " + noBlanks;
        QTest::newRow("no name") << AbcDigest + "  \n" << "line 1: the line names no file";
        QTest::newRow("blank line between") << good + "\n" + line(EmptyDigest, "b.img") << "line 2: the line is empty";
        QTest::newRow("only a line end") << QByteArray("\r\n") << "line 1: the line is empty";
        QTest::newRow("bad line after good ones, CRLF")
            << QByteArray(good + line(EmptyDigest, "b.img") + line(AbcDigest.left(40), "c.img")).replace("\n", "\r\n")
            << "line 3: " + notHex;
        QTest::newRow("unknown escape") << "\\" + line(AbcDigest, "a\\t.img") << "line 1: the name has a backslash that is not \\\\, \\n or \\r";
        QTest::newRow("escape cut short") << "\\" + line(AbcDigest, "a.img\\") << "line 1: the name has a backslash that is not \\\\, \\n or \\r";
        QTest::newRow("name listed twice") << good + line(EmptyDigest, "b.img") + line(EmptyDigest, "a.img")
                                           << "line 3: 'a.img' is listed again, first on line 1";
    }

    void refusesMalformedLists()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, error);

        const PayloadDigests digests = PayloadDigests::parse(list);
        QVERIFY(!digests.isValid());
        QCOMPARE(digests.error(), error);
        // Nothing of a damaged list vouches for an image.
        QCOMPARE(digests.hexDigest(QStringLiteral("a.img")), QString());
    }

    void checksImageBytes_data()
    {
        QTest::addColumn<bool>("hasList");
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("reason"); // its parts; none when the image may go

        QTest::newRow("intact image") << true << TwoImages << "sim_ge-746.img" << QByteArray("abc") << QStringList();
        QTest::newRow("intact, asked for in capitals") << true << TwoImages << "SIM_GE-746.IMG" << QByteArray("abc") << QStringList();
        QTest::newRow("intact empty image") << true << TwoImages << "sim_fe-746.img" << QByteArray() << QStringList();
        QTest::newRow("one byte changed")
            << true << TwoImages << "sim_ge-746.img" << QByteArray("abd")
            << QStringList{"The image sim_ge-746.img in the payload is damaged: its SHA-256 is " + QString::fromLatin1(AbdDigest),
                           "but the payload's digests.sha256 records " + QString::fromLatin1(AbcDigest),
                           "Get an intact copy of Tessaro."};
        QTest::newRow("one byte more") << true << TwoImages << "sim_ge-746.img" << QByteArray("abc\0", 4)
                                       << QStringList{"The image sim_ge-746.img in the payload is damaged"};
        QTest::newRow("image the list does not name")
            << true << TwoImages << "sim_ge-interim.img" << QByteArray("abc")
            << QStringList{"The image sim_ge-interim.img has no line in the payload's digests.sha256",
                           "not packed with the program's other files"};
        QTest::newRow("damaged list") << true << TwoImages + "garbage\n" << "sim_ge-746.img" << QByteArray("abc")
                                      << QStringList{"The payload's digests.sha256 is damaged (line 3: ",
                                                     "so the image sim_ge-746.img cannot be checked"};
        QTest::newRow("empty list") << true << QByteArray() << "sim_ge-746.img" << QByteArray("abc")
                                    << QStringList{"digests.sha256 is damaged (it lists no file)", "sim_ge-746.img"};
        // A payload packed before the packer recorded digests.
        QTest::newRow("no list") << false << QByteArray() << "sim_ge-746.img" << QByteArray("abd") << QStringList();
    }

    void checksImageBytes()
    {
        QFETCH(bool, hasList);
        QFETCH(QByteArray, list);
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, reason);

        const QString problem = digestProblem(hasList ? std::optional(list) : std::nullopt, name, bytes);
        QVERIFY2(reason.isEmpty() == problem.isEmpty(), qPrintable(problem));
        for (const QString &part : std::as_const(reason))
            QVERIFY2(problem.contains(part), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TestPayloadDigests)
#include "tst_payloaddigests.moc"
