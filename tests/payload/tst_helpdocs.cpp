#include "TestPaths.h"

#include "payload/ExeStrm.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString collapsed(const QString &text)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return QString(text).replace(space, QStringLiteral(" ")).trimmed();
}

// Lines also break after "/" and "-", where the source has no blank, so the comparison
// leaves out white space altogether.
QString withoutSpace(const QString &text)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return QString(text).remove(space);
}

// The extracted text without the page numbers, which stand on lines of their own and may
// fall in the middle of a paragraph.
QString withoutPageNumbers(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[ \\t]*\\d+[ \\t]*$"), QRegularExpression::MultilineOption);
    return QString(text).remove(number);
}

// The texts an operator must find in the rendered document: every heading, paragraph, list
// item and message of the source, without their markers.
QStringList sourceTexts(const QString &source)
{
    QStringList texts;
    const QStringList blocks = source.split(QRegularExpression(QStringLiteral("\\n\\s*\\n")), Qt::SkipEmptyParts);
    for (const QString &block : blocks) {
        QString current;
        for (const QString &line : block.split(QLatin1Char('\n'))) {
            static const QRegularExpression marker(QStringLiteral("^(#+ |> |- )"));
            const auto match = marker.match(line);
            if (match.hasMatch() && match.captured(1) == QStringLiteral("- ") && !current.isEmpty()) {
                texts << collapsed(current);
                current.clear();
            }
            current += QLatin1Char(' ') + line.mid(match.capturedLength());
        }
        texts << collapsed(current);
    }
    return texts;
}

QString runPoppler(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestHelpDocs final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
                 "pdftotext and pdfinfo (poppler-utils) are missing; scripts/setup installs them");
    }

    void documentHoldsItsSource_data()
    {
        QTest::addColumn<QString>("document");
        QTest::newRow("upgrade procedure") << "Upgrade1";
        QTest::newRow("troubleshooting") << "Upgrade2";
        QTest::newRow("after the upgrade") << "Upgrade3";
    }

    void documentHoldsItsSource()
    {
        QFETCH(QString, document);
        QFile sourceFile(QStringLiteral(TESSARO_ASSETS_DIR "/help/") + document + QStringLiteral(".txt"));
        QVERIFY(sourceFile.open(QIODevice::ReadOnly));
        const QString source = QString::fromUtf8(sourceFile.readAll());

        // The document as the wizard extracts it from its own file.
        const TEXEAppendixFileSystem files(binPath(QStringLiteral("tessaro")));
        const std::unique_ptr<QBuffer> pdf = files.OpenFile(document + QStringLiteral(".pdf"), TExeAppendixStream::AccessMode::Read);
        QVERIFY(pdf);
        QTemporaryDir dir;
        const QString path = dir.filePath(document + QStringLiteral(".pdf"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(pdf->data()), pdf->data().size());
        out.close();

        const QString info = runPoppler(QStringLiteral("pdfinfo"), {path});
        const QString title = sourceTexts(source).first();
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("^Title: +%1$").arg(QRegularExpression::escape(title)),
                                                  QRegularExpression::MultilineOption)), qPrintable(info));
        const QRegularExpressionMatch pages = QRegularExpression(QStringLiteral("^Pages: +(\\d+)$"),
                                                                 QRegularExpression::MultilineOption).match(info);
        QVERIFY2(pages.hasMatch() && pages.captured(1).toInt() > 1, qPrintable(info));

        const QString text = withoutSpace(withoutPageNumbers(runPoppler(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")})));
        QVERIFY(!text.isEmpty());
        for (const QString &expected : sourceTexts(source))
            QVERIFY2(text.contains(withoutSpace(expected)), qPrintable(QStringLiteral("missing from the PDF: ") + expected));
    }
};

QTEST_GUILESS_MAIN(TestHelpDocs)
#include "tst_helpdocs.moc"
