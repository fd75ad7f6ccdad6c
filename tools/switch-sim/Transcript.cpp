#include "Transcript.h"

Transcript::Transcript(const QString &path) : m_file(path)
{
    if (!path.isEmpty())
        m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

void Transcript::append(const QByteArray &bytes)
{
    if (m_file.isOpen())
        m_file.write(bytes);
}
