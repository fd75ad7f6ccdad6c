#include "payload/ExeStrm.h"

#include "platform/Exceptions.h"

#include <QtEndian>

#include <sys/file.h>

using namespace Appendix;

TExeAppendixStream::TExeAppendixStream(const QString &fileName, AccessMode mode)
    : m_file(fileName)
{
    openLocked(mode);
    m_base = HasAppendix() ? readBase() : quint32(m_file.size());
    m_writeMode = mode != AccessMode::Read;
    const OpenMode deviceMode = mode == AccessMode::Read    ? ReadOnly
                                : mode == AccessMode::Write ? WriteOnly
                                                            : ReadWrite;
    // Unbuffered keeps the underlying file's position at B + pos() at all times.
    QIODevice::open(deviceMode | Unbuffered);
    if (m_writeMode)
        resize(0);
    seek(0);
}

TExeAppendixStream::~TExeAppendixStream()
{
    close();
}

void TExeAppendixStream::openLocked(AccessMode mode)
{
    // Finding B needs the trailer, so the writing side reads too; it must never create
    // the file it is meant to cut.
    const bool opened = mode == AccessMode::Read
                            ? m_file.open(QIODevice::ReadOnly)
                            : m_file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly);
    const int lock = mode == AccessMode::Read ? LOCK_SH : LOCK_EX;
    if (!opened || ::flock(m_file.handle(), lock | LOCK_NB) != 0) {
        m_file.close();
        throw EFOpenError(m_file.fileName());
    }
}

bool TExeAppendixStream::HasAppendix()
{
    const qint64 length = m_file.size();
    if (length < kTrailerSize)
        return false;
    const qint64 position = isOpen() ? pos() : 0;
    m_file.seek(length - kTrailerSize);
    const bool found = m_file.read(kMagicSize) == QByteArray::fromRawData(kMagic, kMagicSize);
    m_file.seek(m_base + position);
    return found;
}

quint32 TExeAppendixStream::readBase()
{
    m_file.seek(m_file.size() - 4);
    const QByteArray bytes = m_file.read(4);
    return qFromLittleEndian<quint32>(bytes.constData());
}

int TExeAppendixStream::EntryCount()
{
    seek(0);
    return qFromLittleEndian<quint16>(ReadBuffer(2).constData());
}

QByteArray TExeAppendixStream::EntryName(int index)
{
    seek(EntryPosition(index));
    const QByteArray field = ReadBuffer(kNameFieldSize);
    // A length beyond the field marks a damaged entry; its name stops at the field's end.
    const int length = qMin(int(quint8(field.at(0))), kMaxNameLength);
    return field.mid(1, length);
}

TAppendixLocation TExeAppendixStream::EntryLocation(int index)
{
    seek(EntryPosition(index) + kNameFieldSize);
    const QByteArray bytes = ReadBuffer(8);
    return {qFromLittleEndian<quint32>(bytes.constData()),
            qFromLittleEndian<quint32>(bytes.constData() + 4)};
}

int TExeAppendixStream::FindEntry(const QString &name)
{
    // Only the request is lowered: a stored name with capitals is never found.
    const QByteArray wanted = name.toUtf8().toLower();
    const int count = EntryCount();
    for (int i = 0; i < count; ++i) {
        if (EntryName(i) == wanted)
            return i;
    }
    return -1;
}

QByteArray TExeAppendixStream::ReadBuffer(qint64 count)
{
    if (count == 0)
        return {};
    if (count < 0 || count > size() - pos())
        throw EReadError();
    QByteArray bytes(count, Qt::Uninitialized);
    qint64 done = 0;
    while (done < count) {
        const qint64 got = read(bytes.data() + done, count - done);
        if (got <= 0)
            throw EReadError();
        done += got;
    }
    return bytes;
}

void TExeAppendixStream::WriteBuffer(const QByteArray &bytes)
{
    if (write(bytes) != bytes.size())
        throw EWriteError();
}

bool TExeAppendixStream::seek(qint64 pos)
{
    return QIODevice::seek(pos) && m_file.seek(m_base + pos);
}

qint64 TExeAppendixStream::size() const
{
    // A damaged trailer may name a base beyond the end; there is nothing to read then.
    return qMax<qint64>(0, m_file.size() - m_base);
}

bool TExeAppendixStream::resize(qint64 newSize)
{
    return m_file.resize(m_base + newSize);
}

void TExeAppendixStream::close()
{
    if (m_file.isOpen()) {
        if (m_writeMode && m_modified)
            writeTrailer();
        m_file.close();
    }
    QIODevice::close();
}

void TExeAppendixStream::writeTrailer()
{
    // Runs from the destructor too, so it cannot raise; a writer that must know the outcome
    // reads the file back.
    QByteArray trailer(kMagic, kMagicSize);
    trailer.resize(kTrailerSize);
    qToLittleEndian<quint32>(m_base, trailer.data() + kMagicSize);
    m_file.seek(m_file.size());
    m_file.write(trailer);
}

qint64 TExeAppendixStream::readData(char *data, qint64 maxSize)
{
    return m_file.read(data, maxSize);
}

qint64 TExeAppendixStream::writeData(const char *data, qint64 maxSize)
{
    return m_file.write(data, maxSize);
}

bool TEXEAppendixFileSystem::HasAppendix() const
{
    TExeAppendixStream stream(m_fileName, TExeAppendixStream::AccessMode::Read);
    return stream.HasAppendix();
}

bool TEXEAppendixFileSystem::FileExists(const QString &name) const
{
    TExeAppendixStream stream(m_fileName, TExeAppendixStream::AccessMode::Read);
    return stream.FindEntry(name) >= 0;
}

std::unique_ptr<QBuffer> TEXEAppendixFileSystem::OpenFile(const QString &name,
                                                          TExeAppendixStream::AccessMode access) const
{
    if (access != TExeAppendixStream::AccessMode::Read)
        return nullptr;
    TExeAppendixStream stream(m_fileName, access);
    const int index = stream.FindEntry(name);
    if (index < 0)
        return nullptr;
    const TAppendixLocation location = stream.EntryLocation(index);
    stream.seek(location.Offset);
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(stream.ReadBuffer(location.Size));
    buffer->open(QIODevice::ReadOnly);
    return buffer;
}
