#pragma once

#include "platform/AutoResetEvent.h"

#include <QFile>

#include <atomic>
#include <memory>

// A file that counts the bytes passed through it and signals its progress, so that a
// progress window can follow a transfer that runs on another thread. The count adds what
// each call asked for, not what it moved: a 1000-byte file read in 512-byte blocks counts
// 1024. Open it Unbuffered, so that each block is one call. It signals after each write, and
// after the first read, every kReadsPerSignal-th one and the one that meets the end of the
// file. Reads are served from a read-ahead of its own, so that a block costs a copy rather
// than a system call.
class TProgressStream final : public QFile
{
    Q_OBJECT

public:
    explicit TProgressStream(const QString &fileName, QObject *parent = nullptr) : QFile(fileName, parent) {}
    ~TProgressStream() override;

    qint64 TotalBytes() const { return m_totalBytes; }
    Platform::AutoResetEvent &Progressed() { return m_progressed; }

    bool seek(qint64 offset) override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    // A window needs to hear of every few blocks, not of each: every signal wakes each
    // thread that waits on any event.
    static constexpr quint64 kReadsPerSignal = 4;
    // What the file holds from the device's position on, fetched in one call.
    static constexpr qint64 kReadAhead = 64 * 1024;

    qint64 readAhead(char *data, qint64 maxSize);

    std::atomic<qint64> m_totalBytes{0};
    Platform::AutoResetEvent m_progressed;
    quint64 m_reads = 0;
    std::unique_ptr<char[]> m_ahead;
    qint64 m_aheadStart = 0;
    qint64 m_aheadEnd = 0;
};
