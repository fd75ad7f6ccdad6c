#pragma once

#include <QBuffer>
#include <QFile>
#include <QIODevice>

#include <memory>

// The appendix that follows the executable image proper (all integers little-endian,
// offsets relative to the appendix base B unless said otherwise):
//   0               2    number of directory entries N
//   2               2    reserved, never read
//   4 + i * 263     263  directory entry i: name length L (1), name field (254, only the
//                        first L bytes count), data size (4), data offset (4)
//   anywhere after the directory: the entries' data
//   file end - 12   8    "dream co"
//   file end - 4    4    B, absolute
namespace Appendix {
inline constexpr qint64 kHeaderSize = 4;
inline constexpr qint64 kEntrySize = 263;
inline constexpr qint64 kNameFieldSize = 255; // the length byte and the name characters
inline constexpr int kMaxNameLength = 254;
inline constexpr char kMagic[] = "dream co";
inline constexpr qint64 kMagicSize = sizeof(kMagic) - 1;
inline constexpr qint64 kTrailerSize = kMagicSize + 4;

inline constexpr qint64 EntryPosition(int index) { return kHeaderSize + index * kEntrySize; }
} // namespace Appendix

// Where an entry's data lies, relative to B.
struct TAppendixLocation
{
    quint32 Size = 0;
    quint32 Offset = 0;
};

// A file whose positions and size count from the appendix base B. Opening for reading
// finds B in the trailer (the file's end when there is none); opening for writing cuts the
// file at B, and closing writes a fresh trailer when the stream was marked Modified.
//
// Linux has no share mode that denies writing to other handles. Every stream holds an
// advisory flock instead: shared for reading, exclusive for writing, so a writer and any
// other stream on the same file exclude each other. Open failures, a lock held by another
// stream included, raise EFOpenError ("Cannot open file %s").
class TExeAppendixStream final : public QIODevice
{
    Q_OBJECT

public:
    enum class AccessMode { Read = 0, Write = 1, ReadWrite = 2 };

    TExeAppendixStream(const QString &fileName, AccessMode mode);
    ~TExeAppendixStream() override;
    Q_DISABLE_COPY_MOVE(TExeAppendixStream)

    // True when the file's last 12 bytes begin with the magic. Leaves the position alone.
    bool HasAppendix();
    quint32 Base() const { return m_base; }

    // The index of the first entry whose stored name equals the request lowered
    // (ASCII only), or -1. Reads the directory anew; raises EReadError on a short one.
    int FindEntry(const QString &name);
    int EntryCount();
    QByteArray EntryName(int index);
    TAppendixLocation EntryLocation(int index);

    bool Modified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }

    // Reads exactly count bytes at the current position, or raises EReadError without
    // reading when fewer remain.
    QByteArray ReadBuffer(qint64 count);
    // Writes all of bytes or raises EWriteError.
    void WriteBuffer(const QByteArray &bytes);

    bool seek(qint64 pos) override;
    qint64 size() const override;
    bool resize(qint64 newSize);
    // Writes the trailer when due, then closes the file.
    void close() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    void openLocked(AccessMode mode);
    quint32 readBase();
    void writeTrailer();

    QFile m_file;
    quint32 m_base = 0;
    bool m_writeMode = false;
    bool m_modified = false;
};

// A read-only store of the named files in an executable's appendix. Holds no handle and
// no directory between calls: every call opens FileName, works and closes it.
class TEXEAppendixFileSystem final
{
public:
    explicit TEXEAppendixFileSystem(QString fileName = {}) : m_fileName(std::move(fileName)) {}
    Q_DISABLE_COPY_MOVE(TEXEAppendixFileSystem)

    const QString &FileName() const { return m_fileName; }
    void SetFileName(const QString &fileName) { m_fileName = fileName; }

    bool HasAppendix() const;
    bool FileExists(const QString &name) const;
    // The named file's bytes in a new buffer opened for reading at position 0, owned by the
    // caller; none when the name is not in the directory or when write access is asked for.
    std::unique_ptr<QBuffer> OpenFile(const QString &name,
                                      TExeAppendixStream::AccessMode access) const;

private:
    QString m_fileName;
};
