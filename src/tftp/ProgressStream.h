#pragma once

#include "platform/AutoResetEvent.h"

#include <QFile>

#include <atomic>

// A file that counts the bytes passed through it and signals after each read or write, so
// that a progress window can follow a transfer that runs on another thread. The count adds
// what each call asked for, not what it moved: a 1000-byte file read in 512-byte blocks
// counts 1024. Open it Unbuffered, so that each block is one call.
class TProgressStream final : public QFile
{
    Q_OBJECT

public:
    explicit TProgressStream(const QString &fileName, QObject *parent = nullptr) : QFile(fileName, parent) {}
    ~TProgressStream() override;

    qint64 TotalBytes() const { return m_totalBytes; }
    Platform::AutoResetEvent &Progressed() { return m_progressed; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    std::atomic<qint64> m_totalBytes{0};
    Platform::AutoResetEvent m_progressed;
};
