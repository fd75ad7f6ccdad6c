#include "FuzzCheck.h"

#include "payload/ExeStrm.h"
#include "platform/Exceptions.h"

#include <QtEndian>

#include <algorithm>
#include <optional>

// The appendix reader returns exactly the bytes that the directory names for a file, or
// refuses with a read error when they lie beyond the file; here the directory is read
// straight from the input's bytes, by the layout in ExeStrm.h.

namespace {

using namespace Appendix;

// The bytes from B to the file's end, B as the trailer names it (the end without one).
QByteArray appendixOf(const QByteArray &file)
{
    const bool trailer = file.size() >= kTrailerSize && file.sliced(file.size() - kTrailerSize, kMagicSize) == kMagic;
    const qint64 base = trailer ? qFromLittleEndian<quint32>(file.constData() + file.size() - 4) : file.size();
    return base < file.size() ? file.sliced(base) : QByteArray();
}

struct Entry
{
    QByteArray name;
    quint32 size = 0;
    quint32 offset = 0;
};

// The directory's entries up to the first that the appendix does not hold whole.
QList<Entry> readableEntries(const QByteArray &appendix)
{
    QList<Entry> entries;
    const int count = appendix.size() >= 2 ? qFromLittleEndian<quint16>(appendix.constData()) : 0;
    for (int i = 0; i < count && EntryPosition(i) + kEntrySize <= appendix.size(); ++i) {
        const qint64 at = EntryPosition(i);
        const int length = qMin(int(quint8(appendix[at])), kMaxNameLength);
        entries.append({appendix.mid(at + 1, length), qFromLittleEndian<quint32>(appendix.constData() + at + kNameFieldSize),
                        qFromLittleEndian<quint32>(appendix.constData() + at + kNameFieldSize + 4)});
    }
    return entries;
}

// Whether a search through every name ends inside the appendix: each name field is whole,
// the size and offset after the last one need not be.
bool namesComplete(const QByteArray &appendix)
{
    if (appendix.size() < 2)
        return false;
    const int count = qFromLittleEndian<quint16>(appendix.constData());
    return count == 0 || EntryPosition(count - 1) + kNameFieldSize <= appendix.size();
}

// What OpenFile must give for a stored name: the bytes, or none when they lie beyond the end.
std::optional<QByteArray> expectedBytes(const QByteArray &appendix, const Entry &entry)
{
    if (entry.size == 0)
        return QByteArray();
    if (qint64(entry.offset) + entry.size > appendix.size())
        return std::nullopt;
    return appendix.mid(entry.offset, entry.size);
}

// Lookups per input: each one opens the file again.
constexpr int kMaxLookups = 8;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file = fuzzInput(data, size);
    const TEXEAppendixFileSystem files(scratchFile(QStringLiteral("program"), file));
    const QByteArray appendix = appendixOf(file);
    const QList<Entry> entries = readableEntries(appendix);

    int lookups = 0;
    for (const Entry &entry : entries) {
        if (++lookups > kMaxLookups)
            break;
        // Names are asked for lowered and as UTF-8; only those that survive both are found.
        const QString request = QString::fromUtf8(entry.name);
        if (request.toUtf8() != entry.name || entry.name.toLower() != entry.name)
            continue;
        // The first entry of that name is the one found.
        const Entry &first = *std::find_if(entries.cbegin(), entries.cend(), [&](const Entry &e) { return e.name == entry.name; });
        const std::optional<QByteArray> expected = expectedBytes(appendix, first);
        try {
            const std::unique_ptr<QBuffer> opened = files.OpenFile(request, TExeAppendixStream::AccessMode::Read);
            FUZZ_CHECK(opened && expected && opened->data() == *expected);
        } catch (const EReadError &) {
            FUZZ_CHECK(!expected);
        }
    }

    // A name that no entry can hold (longer than a name field) is not found, or the search
    // fails when the directory ends before its last name.
    const QString missing(kMaxNameLength + 1, u'x');
    try {
        FUZZ_CHECK(!files.FileExists(missing) && namesComplete(appendix));
    } catch (const EReadError &) {
        FUZZ_CHECK(!namesComplete(appendix));
    }
    return 0;
}
