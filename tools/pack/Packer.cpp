#include "Packer.h"

#include "payload/ExeStrm.h"
#include "payload/PayloadDigests.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>
#include <QTextStream>
#include <QtEndian>

#include <filesystem>
#include <limits>

using namespace Appendix;

namespace {

constexpr qint64 kCopyChunk = 1 << 20;
constexpr qint64 Limit32 = std::numeric_limits<quint32>::max();

QString Quoted(const QString &text)
{
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QByteArray ReadWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("cannot read %1: %2").arg(Quoted(path), file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Exception(QStringLiteral("cannot read %1: %2").arg(Quoted(path), file.errorString()));
    return bytes;
}

void CopyFile(const QString &fromPath, QFile &to)
{
    QFile from(fromPath);
    if (!from.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("cannot read %1: %2").arg(Quoted(fromPath), from.errorString()));
    while (!from.atEnd()) {
        const QByteArray chunk = from.read(kCopyChunk);
        if (chunk.isEmpty())
            throw Exception(QStringLiteral("cannot read %1: %2").arg(Quoted(fromPath), from.errorString()));
        if (to.write(chunk) != chunk.size())
            throw Exception(QStringLiteral("cannot write %1: %2").arg(Quoted(to.fileName()), to.errorString()));
    }
}

QByteArray Le16(quint16 value)
{
    QByteArray bytes(2, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray Le32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray DirectoryEntry(const QByteArray &name, quint32 size, quint32 offset)
{
    QByteArray entry(kNameFieldSize, '\0');
    entry[0] = char(name.size());
    entry.replace(1, name.size(), name);
    return entry + Le32(size) + Le32(offset);
}

// The header, the directory and the data in directory order, then one zero byte.
QByteArray AppendixBytes(const QList<PackEntry> &entries, const QList<QByteArray> &data)
{
    qint64 offset = EntryPosition(int(entries.size()));
    QByteArray directory = Le16(quint16(entries.size())) + Le16(0);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        directory += DirectoryEntry(entries[i].name, quint32(data[i].size()), quint32(offset));
        offset += data[i].size();
    }
    if (offset + 1 + kTrailerSize > Limit32)
        throw Exception(QStringLiteral("the files add up to more than 4 GiB, more than the appendix can address"));
    QByteArray appendix = directory;
    appendix.reserve(offset + 1);
    for (const QByteArray &bytes : data)
        appendix += bytes;
    appendix += '\0';
    return appendix;
}

void CheckEntries(const QList<PackEntry> &entries)
{
    if (entries.isEmpty())
        throw Exception(QStringLiteral("nothing to pack: give at least one NAME=PATH"));
    if (entries.size() >= std::numeric_limits<quint16>::max())
        throw Exception(QStringLiteral("too many files: the directory holds at most 65535, %1 among them")
                            .arg(kDigestListName));
    QSet<QByteArray> names;
    for (const PackEntry &entry : entries) {
        if (entry.name == kDigestListName.latin1())
            throw Exception(QStringLiteral("the name %1 is the packer's own: it lists the SHA-256 of the other files; "
                                           "store that file under another name")
                                .arg(Quoted(kDigestListName)));
        if (names.contains(entry.name))
            throw Exception(QStringLiteral("the name %1 is given twice").arg(Quoted(QString::fromUtf8(entry.name))));
        names.insert(entry.name);
    }
}

// The appendix stream cannot report a failed trailer write, so the result is read back.
void Verify(const QString &path, quint32 base, qint64 appendixSize)
{
    TExeAppendixStream stream(path, TExeAppendixStream::AccessMode::Read);
    if (!stream.HasAppendix() || stream.Base() != base || stream.size() != appendixSize + kTrailerSize)
        throw Exception(QStringLiteral("writing %1 failed: it does not read back as written").arg(Quoted(path)));
}

} // namespace

PackEntry ParseEntry(const QString &argument)
{
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    if (equals <= 0 || equals == argument.size() - 1)
        throw Exception(QStringLiteral("bad file argument %1: expected NAME=PATH").arg(Quoted(argument)));
    PackEntry entry{argument.left(equals).toUtf8().toLower(), argument.mid(equals + 1)};
    if (entry.name.size() > kMaxNameLength)
        throw Exception(QStringLiteral("the name in %1 has %2 bytes; at most %3 fit")
                            .arg(Quoted(argument))
                            .arg(entry.name.size())
                            .arg(kMaxNameLength));
    return entry;
}

void packProgram(const QString &exePath, const QString &outPath, const QList<PackEntry> &entries)
{
    CheckEntries(entries);
    QList<PackEntry> stored = entries;
    QList<QByteArray> data;
    QByteArray digests;
    for (const PackEntry &entry : entries) {
        data << ReadWhole(entry.path);
        digests += digestLine(entry.name, data.last());
    }
    stored << PackEntry{kDigestListName.latin1(), {}};
    data << digests;
    const QByteArray appendix = AppendixBytes(stored, data);

    const QFileInfo exeInfo(exePath);
    if (!exeInfo.isFile())
        throw Exception(QStringLiteral("cannot read %1: no such file").arg(Quoted(exePath)));

    QTemporaryFile temporary(QFileInfo(outPath).absolutePath() + QStringLiteral("/.tessaro-pack-XXXXXX"));
    if (!temporary.open())
        throw Exception(QStringLiteral("cannot create a file beside %1: %2").arg(Quoted(outPath), temporary.errorString()));
    CopyFile(exePath, temporary);
    if (!temporary.flush())
        throw Exception(QStringLiteral("cannot write %1: %2").arg(Quoted(temporary.fileName()), temporary.errorString()));

    quint32 base = 0;
    {
        TExeAppendixStream stream(temporary.fileName(), TExeAppendixStream::AccessMode::Write);
        base = stream.Base();
        stream.WriteBuffer(appendix);
        stream.SetModified(true);
    }
    Verify(temporary.fileName(), base, appendix.size());

    temporary.close();
    temporary.setPermissions(exeInfo.permissions());
    std::error_code error;
    std::filesystem::rename(temporary.fileName().toStdString(), outPath.toStdString(), error);
    if (error)
        throw Exception(QStringLiteral("cannot write %1: %2").arg(Quoted(outPath), QString::fromStdString(error.message())));
    temporary.setAutoRemove(false);
}

bool listAppendix(const QString &path, QTextStream &out)
{
    TExeAppendixStream stream(path, TExeAppendixStream::AccessMode::Read);
    if (!stream.HasAppendix()) {
        out << path << QStringLiteral(" has no appendix\n");
        return false;
    }
    const int count = stream.EntryCount();
    out << path << QStringLiteral(": appendix at byte %1, %2 entries\n").arg(stream.Base()).arg(count);
    out << QStringLiteral("%1 %2 %3\n").arg(QStringLiteral("name"), -32).arg(QStringLiteral("size"), 10).arg(QStringLiteral("offset"), 10);
    for (int i = 0; i < count; ++i) {
        const TAppendixLocation location = stream.EntryLocation(i);
        out << QStringLiteral("%1 %2 %3\n")
                   .arg(QString::fromUtf8(stream.EntryName(i)), -32)
                   .arg(location.Size, 10)
                   .arg(location.Offset, 10);
    }
    return true;
}
