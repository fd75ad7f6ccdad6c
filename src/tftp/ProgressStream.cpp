#include "tftp/ProgressStream.h"

#include <algorithm>
#include <cstring>

TProgressStream::~TProgressStream()
{
    close();
}

bool TProgressStream::seek(qint64 offset)
{
    m_aheadStart = m_aheadEnd = 0;
    return QFile::seek(offset);
}

qint64 TProgressStream::readData(char *data, qint64 maxSize)
{
    m_totalBytes += maxSize;
    const qint64 moved = readAhead(data, maxSize);
    if (m_reads++ % kReadsPerSignal == 0 || moved < maxSize)
        m_progressed.set();
    return moved;
}

qint64 TProgressStream::readAhead(char *data, qint64 maxSize)
{
    qint64 moved = 0;
    while (moved < maxSize) {
        if (m_aheadStart == m_aheadEnd) {
            if (!m_ahead)
                m_ahead = std::make_unique<char[]>(kReadAhead);
            const qint64 fetched = QFile::readData(m_ahead.get(), kReadAhead);
            if (fetched <= 0) {
                // An error after some bytes shows at the next call.
                if (fetched < 0 && moved == 0)
                    moved = -1;
                break;
            }
            m_aheadStart = 0;
            m_aheadEnd = fetched;
        }
        const qint64 part = std::min(maxSize - moved, m_aheadEnd - m_aheadStart);
        std::memcpy(data + moved, m_ahead.get() + m_aheadStart, size_t(part));
        m_aheadStart += part;
        moved += part;
    }
    return moved;
}

qint64 TProgressStream::writeData(const char *data, qint64 maxSize)
{
    m_totalBytes += maxSize;
    const qint64 moved = QFile::writeData(data, maxSize);
    m_progressed.set();
    return moved;
}
