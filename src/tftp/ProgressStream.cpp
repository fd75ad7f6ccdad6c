#include "tftp/ProgressStream.h"

TProgressStream::~TProgressStream()
{
    close();
}

qint64 TProgressStream::readData(char *data, qint64 maxSize)
{
    m_totalBytes += maxSize;
    const qint64 moved = QFile::readData(data, maxSize);
    m_progressed.set();
    return moved;
}

qint64 TProgressStream::writeData(const char *data, qint64 maxSize)
{
    m_totalBytes += maxSize;
    const qint64 moved = QFile::writeData(data, maxSize);
    m_progressed.set();
    return moved;
}
