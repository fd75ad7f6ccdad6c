// tessaro-imagegen SIZE OUT: writes a stand-in firmware image of exactly SIZE bytes. The
// bytes are pseudo-random but fixed by the output's file name, so every build makes the same
// images and two images never share their content.

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>
#include <QtEndian>

namespace {

quint64 NameSeed(const QByteArray &name)
{
    quint64 hash = 14695981039346656037ULL; // FNV-1a
    for (const char c : name) {
        hash ^= quint8(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

// splitmix64: fast, and good enough that the images do not compress away.
quint64 Next(quint64 &state)
{
    quint64 z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

int Fail(const QString &message)
{
    QTextStream(stderr) << QStringLiteral("tessaro-imagegen: ") << message << QLatin1Char('\n');
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    bool sizeOk = false;
    const qint64 size = arguments.size() == 3 ? arguments[1].toLongLong(&sizeOk) : 0;
    if (!sizeOk || size < 0)
        return Fail(QStringLiteral("usage: tessaro-imagegen SIZE OUT"));

    QByteArray bytes(size + 8, Qt::Uninitialized);
    quint64 state = NameSeed(QFileInfo(arguments[2]).fileName().toUtf8());
    for (qint64 at = 0; at < size; at += 8)
        qToLittleEndian(Next(state), bytes.data() + at);
    bytes.truncate(size);

    QSaveFile out(arguments[2]);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != size || !out.commit())
        return Fail(QStringLiteral("cannot write %1: %2").arg(arguments[2], out.errorString()));
    return 0;
}
