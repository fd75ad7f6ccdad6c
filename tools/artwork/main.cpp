// tessaro-artwork IN.draw OUT.png: draws one of the wizard's pictures from its description.
//
// A description is a list of commands, one a line; a line that starts with '#' is a
// comment. Coordinates are pixels from the top left; colours are #rrggbb or #aarrggbb.
//   size W H                           the picture's size; must come first
//   gradient X1 Y1 X2 Y2 COLOUR COLOUR fills the picture with a linear gradient
//   tiles X Y W H SIZE GAP START FADE COLOUR...
//                                      a mosaic of square tiles in the given colours, picked
//                                      by a pseudo-random sequence started at START; FADE "up"
//                                      thins the tiles out towards the top, "none" keeps all
//   palette KEY COLOUR                 names a colour for the mosaic rows
//   mosaic X Y SIZE GAP                the following rows, up to "end", are tiles: each
//                                      character a palette key, "." no tile
//   text X Y PIXELS WEIGHT COLOUR WORDS...
//                                      text with its baseline at Y; WEIGHT normal or bold
//   line X1 Y1 X2 Y2 WIDTH COLOUR

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTextStream>

#include <stdexcept>

namespace {

struct DrawError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(int lineNumber, const QString &message)
{
    throw DrawError(QStringLiteral("line %1: %2").arg(lineNumber).arg(message).toStdString());
}

void Smooth(QPainter &painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
}

class Picture final
{
public:
    void Run(const QStringList &lines);
    const QImage &Image() const { return m_image; }

private:
    void Command(const QStringList &words);
    void Size(const QStringList &words);
    void Gradient(const QStringList &words);
    void Tiles(const QStringList &words);
    void Mosaic(const QStringList &words, const QStringList &rows);
    void Text(const QStringList &words);
    void Line(const QStringList &words);

    int Number(const QString &word) const;
    QColor Colour(const QString &word) const;
    void Tile(QPainter &painter, int x, int y, int size, const QColor &colour);
    void Expect(const QStringList &words, qsizetype count) const;

    QImage m_image;
    QHash<QChar, QColor> m_palette;
    int m_line = 0;
};

void Picture::Run(const QStringList &lines)
{
    for (m_line = 1; m_line <= lines.size(); ++m_line) {
        // Colours begin with '#' too, so only a whole line can be a comment.
        const QString text = lines[m_line - 1].trimmed();
        if (text.isEmpty() || text.startsWith(u'#'))
            continue;
        const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
        if (words.first() == u"mosaic") {
            QStringList rows;
            const int start = m_line;
            while (++m_line <= lines.size() && lines[m_line - 1].trimmed() != u"end")
                rows << lines[m_line - 1].trimmed();
            if (m_line > lines.size())
                Fail(start, QStringLiteral("mosaic without end"));
            const int here = m_line;
            m_line = start;
            Mosaic(words, rows);
            m_line = here;
            continue;
        }
        Command(words);
    }
    if (m_image.isNull())
        Fail(lines.size(), QStringLiteral("no size given"));
}

void Picture::Command(const QStringList &words)
{
    const QString &name = words.first();
    if (name == u"size")
        return Size(words);
    if (m_image.isNull())
        Fail(m_line, QStringLiteral("size must come first"));
    if (name == u"gradient")
        return Gradient(words);
    if (name == u"tiles")
        return Tiles(words);
    if (name == u"palette") {
        Expect(words, 3);
        if (words[1].size() != 1)
            Fail(m_line, QStringLiteral("a palette key is one character"));
        m_palette.insert(words[1][0], Colour(words[2]));
        return;
    }
    if (name == u"text")
        return Text(words);
    if (name == u"line")
        return Line(words);
    Fail(m_line, QStringLiteral("unknown command ") + name);
}

void Picture::Expect(const QStringList &words, qsizetype count) const
{
    if (words.size() < count)
        Fail(m_line, words.first() + QStringLiteral(" needs %1 values").arg(count - 1));
}

int Picture::Number(const QString &word) const
{
    bool ok = false;
    const int value = word.toInt(&ok);
    if (!ok)
        Fail(m_line, QStringLiteral("not a number: ") + word);
    return value;
}

QColor Picture::Colour(const QString &word) const
{
    const QColor colour = QColor::fromString(word);
    if (!word.startsWith(u'#') || !colour.isValid())
        Fail(m_line, QStringLiteral("not a colour: ") + word);
    return colour;
}

void Picture::Size(const QStringList &words)
{
    Expect(words, 3);
    if (!m_image.isNull())
        Fail(m_line, QStringLiteral("size given twice"));
    m_image = QImage(Number(words[1]), Number(words[2]), QImage::Format_ARGB32_Premultiplied);
    if (m_image.isNull())
        Fail(m_line, QStringLiteral("bad size"));
    m_image.fill(Qt::transparent);
}

void Picture::Gradient(const QStringList &words)
{
    Expect(words, 7);
    QLinearGradient gradient(Number(words[1]), Number(words[2]), Number(words[3]), Number(words[4]));
    gradient.setColorAt(0, Colour(words[5]));
    gradient.setColorAt(1, Colour(words[6]));
    QPainter painter(&m_image);
    Smooth(painter);
    painter.fillRect(m_image.rect(), gradient);
}

void Picture::Tile(QPainter &painter, int x, int y, int size, const QColor &colour)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(x, y, size, size), size / 6.0, size / 6.0);
}

void Picture::Tiles(const QStringList &words)
{
    Expect(words, 10);
    const int x = Number(words[1]);
    const int y = Number(words[2]);
    const int width = Number(words[3]);
    const int height = Number(words[4]);
    const int size = Number(words[5]);
    const int step = size + Number(words[6]);
    quint32 state = quint32(Number(words[7]));
    const QString &fade = words[8];
    if (fade != u"up" && fade != u"none")
        Fail(m_line, QStringLiteral("fade is up or none"));
    QList<QColor> colours;
    for (qsizetype i = 9; i < words.size(); ++i)
        colours << Colour(words[i]);
    if (step <= 0)
        Fail(m_line, QStringLiteral("tiles need a positive size"));

    // A fixed linear congruential sequence, so the picture is the same on every build.
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    const int rows = height / step;
    const int columns = width / step;
    QPainter painter(&m_image);
    Smooth(painter);
    for (int row = 0; row < rows; ++row) {
        const double density = fade == u"up" ? double(row + 1) / rows : 1.0;
        for (int column = 0; column < columns; ++column) {
            QColor colour = colours[qsizetype(next() % quint32(colours.size()))];
            const bool shown = (next() % 1000) < quint32(1000 * density);
            if (!shown)
                continue;
            colour.setAlphaF(float(0.35 + 0.65 * density));
            Tile(painter, x + column * step, y + row * step, size, colour);
        }
    }
}

void Picture::Mosaic(const QStringList &words, const QStringList &rows)
{
    Expect(words, 5);
    const int x = Number(words[1]);
    const int y = Number(words[2]);
    const int size = Number(words[3]);
    const int step = size + Number(words[4]);
    QPainter painter(&m_image);
    Smooth(painter);
    for (qsizetype row = 0; row < rows.size(); ++row) {
        for (qsizetype column = 0; column < rows[row].size(); ++column) {
            const QChar key = rows[row][column];
            if (key == u'.')
                continue;
            if (!m_palette.contains(key))
                Fail(m_line, QStringLiteral("no palette colour for ") + key);
            Tile(painter, x + int(column) * step, y + int(row) * step, size, m_palette.value(key));
        }
    }
}

void Picture::Text(const QStringList &words)
{
    Expect(words, 7);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(Number(words[3]));
    if (words[4] != u"normal" && words[4] != u"bold")
        Fail(m_line, QStringLiteral("weight is normal or bold"));
    font.setBold(words[4] == u"bold");
    QPainter painter(&m_image);
    Smooth(painter);
    painter.setFont(font);
    painter.setPen(Colour(words[5]));
    painter.drawText(QPointF(Number(words[1]), Number(words[2])), words.mid(6).join(u' '));
}

void Picture::Line(const QStringList &words)
{
    Expect(words, 7);
    QPainter painter(&m_image);
    Smooth(painter);
    painter.setPen(QPen(Colour(words[6]), Number(words[5])));
    painter.drawLine(Number(words[1]), Number(words[2]), Number(words[3]), Number(words[4]));
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (arguments.size() != 3) {
        err << "usage: tessaro-artwork IN.draw OUT.png\n";
        return 2;
    }
    QFile source(arguments[1]);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
        err << "tessaro-artwork: cannot read " << arguments[1] << '\n';
        return 1;
    }
    try {
        Picture picture;
        picture.Run(QString::fromUtf8(source.readAll()).split(u'\n'));
        if (!picture.Image().save(arguments[2], "PNG")) {
            err << "tessaro-artwork: cannot write " << arguments[2] << '\n';
            return 1;
        }
    } catch (const DrawError &error) {
        err << "tessaro-artwork: " << arguments[1] << ": " << error.what() << '\n';
        return 1;
    }
    return 0;
}
