// tessaro-helpdoc IN.txt OUT.pdf: renders a help text into a PDF document (A4).
//
// The text is a series of blocks separated by blank lines:
//   "# Title"      the document's title (also its PDF title); "## Heading" a section
//   "- item"       a list; each "- " line starts an item, other lines continue it
//   "> line"       a message as the wizard shows it, one "> " line per line of the box
//   anything else  a paragraph; its lines are joined with blanks

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextListFormat>
#include <QTextStream>

namespace {

struct Block
{
    enum Kind { Title, Heading, List, Message, Paragraph } kind;
    QStringList lines; // list items, message lines, or the one text of the others
};

QString Rest(const QString &line, int prefix)
{
    return line.mid(prefix).trimmed();
}

Block ParseBlock(const QStringList &lines)
{
    const QString &first = lines.first();
    if (first.startsWith(QStringLiteral("# ")))
        return {Block::Title, {Rest(first, 2)}};
    if (first.startsWith(QStringLiteral("## ")))
        return {Block::Heading, {Rest(first, 3)}};
    if (first.startsWith(QStringLiteral("> "))) {
        Block block{Block::Message, {}};
        for (const QString &line : lines)
            block.lines << (line.startsWith(QStringLiteral("> ")) ? line.mid(2) : line);
        return block;
    }
    if (first.startsWith(QStringLiteral("- "))) {
        Block block{Block::List, {}};
        for (const QString &line : lines) {
            if (line.startsWith(QStringLiteral("- ")))
                block.lines << Rest(line, 2);
            else
                block.lines.last() += QLatin1Char(' ') + line.trimmed();
        }
        return block;
    }
    QStringList words;
    for (const QString &line : lines)
        words << line.trimmed();
    return {Block::Paragraph, {words.join(QLatin1Char(' '))}};
}

QList<Block> ParseText(const QString &text)
{
    QList<Block> blocks;
    QStringList pending;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty()) {
            if (!pending.isEmpty())
                blocks << ParseBlock(pending);
            pending.clear();
        } else {
            pending << line;
        }
    }
    if (!pending.isEmpty())
        blocks << ParseBlock(pending);
    return blocks;
}

QTextCharFormat TextFormat(qreal points, bool bold = false, bool fixedPitch = false)
{
    QTextCharFormat format;
    format.setFontFamilies({fixedPitch ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans")});
    format.setFontPointSize(points);
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    // Ligatures would reach a text extractor as single glyphs ("ﬁ"); operators search these
    // documents for the wizard's exact messages.
    format.setFontStyleStrategy(QFont::PreferNoShaping);
    return format;
}

QTextBlockFormat Spacing(qreal above, qreal below)
{
    QTextBlockFormat format;
    format.setTopMargin(above);
    format.setBottomMargin(below);
    return format;
}

void Render(const QList<Block> &blocks, QTextDocument &document)
{
    QTextCursor cursor(&document);
    bool first = true;
    const auto startBlock = [&](const QTextBlockFormat &format, const QTextCharFormat &text) {
        if (first)
            cursor.setBlockFormat(format);
        else
            cursor.insertBlock(format);
        cursor.setBlockCharFormat(text);
        cursor.setCharFormat(text);
        first = false;
    };
    for (const Block &block : blocks) {
        switch (block.kind) {
        case Block::Title:
            startBlock(Spacing(0, 14), TextFormat(20, true));
            cursor.insertText(block.lines.first());
            break;
        case Block::Heading:
            startBlock(Spacing(14, 6), TextFormat(14, true));
            cursor.insertText(block.lines.first());
            break;
        case Block::Paragraph:
            startBlock(Spacing(0, 7), TextFormat(10.5));
            cursor.insertText(block.lines.first());
            break;
        case Block::List: {
            QTextListFormat format;
            format.setStyle(QTextListFormat::ListDisc);
            format.setIndent(1);
            QTextList *list = nullptr;
            for (const QString &item : block.lines) {
                startBlock(Spacing(0, 3), TextFormat(10.5));
                if (list)
                    list->add(cursor.block());
                else
                    list = cursor.createList(format);
                cursor.insertText(item);
            }
            break;
        }
        case Block::Message: {
            QTextBlockFormat box = Spacing(2, 9);
            box.setLeftMargin(18);
            box.setBackground(QColor(0xee, 0xf0, 0xf4));
            startBlock(box, TextFormat(9.5, false, true));
            cursor.insertText(block.lines.join(QChar::LineSeparator));
            break;
        }
        }
    }
}

int Fail(const QString &message)
{
    QTextStream(stderr) << QStringLiteral("tessaro-helpdoc: ") << message << QLatin1Char('\n');
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3)
        return Fail(QStringLiteral("usage: tessaro-helpdoc IN.txt OUT.pdf"));

    QFile source(arguments[1]);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text))
        return Fail(QStringLiteral("cannot read %1: %2").arg(arguments[1], source.errorString()));
    const QList<Block> blocks = ParseText(QString::fromUtf8(source.readAll()));
    if (blocks.isEmpty() || blocks.first().kind != Block::Title)
        return Fail(QStringLiteral("%1 must begin with a \"# \" title").arg(arguments[1]));

    QTextDocument document;
    document.setDocumentMargin(0);
    Render(blocks, document);

    // Rendered in memory first, so that a failed run leaves no partial document behind.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        // print() keeps a margin of 2 cm on every side and numbers the pages.
        writer.setPageMargins(QMarginsF());
        writer.setResolution(300);
        writer.setTitle(blocks.first().lines.first());
        writer.setCreator(QStringLiteral("Tessaro"));
        document.print(&writer);
    }
    QSaveFile out(arguments[2]);
    if (!out.open(QIODevice::WriteOnly) || out.write(pdf.data()) != pdf.data().size() || !out.commit())
        return Fail(QStringLiteral("cannot write %1: %2").arg(arguments[2], out.errorString()));
    return 0;
}
