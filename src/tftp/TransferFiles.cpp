#include "tftp/TransferFiles.h"

#include "platform/Exceptions.h"
#include "tftp/TrivialFTPBase.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kTemporaryNameAttempts = 16;

// A hidden name beside target that nobody else can have prepared: O_EXCL fails on any
// existing entry, a link included, so the descriptor is always a new plain file.
int createBeside(const QString &target, QString &temporary)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporary = info.dir().filePath(QStringLiteral(".%1.%2.part")
                                            .arg(info.fileName())
                                            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        const int handle = ::open(QFile::encodeName(temporary).constData(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (handle >= 0 || errno != EEXIST)
            return handle;
    }
    return -1;
}

} // namespace

std::unique_ptr<TProgressStream> TTransferFiles::open(const QString &fileName, bool writing)
{
    return writing ? openReplacement(fileName) : openForReading(fileName);
}

std::unique_ptr<TProgressStream> TTransferFiles::openForReading(const QString &fileName)
{
    auto stream = std::make_unique<TProgressStream>(fileName);
    if (!stream->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw EFOpenError(fileName);
    m_reading.insert(stream.get(), QFileInfo(fileName).canonicalFilePath());
    return stream;
}

std::unique_ptr<TProgressStream> TTransferFiles::openReplacement(const QString &fileName)
{
    const QFileInfo existing(fileName);
    // Caught now rather than when the finished file cannot take the name.
    if (existing.isDir())
        throw EFCreateError(fileName);
    const QString target = existing.canonicalFilePath();
    if (!target.isEmpty() && std::find(m_reading.cbegin(), m_reading.cend(), target) != m_reading.cend())
        throw ETFTPAccessViolation(QStringLiteral("%1 is being read").arg(fileName));
    QString temporary;
    const int handle = createBeside(fileName, temporary);
    if (handle < 0)
        throw EFCreateError(fileName);
    auto stream = std::make_unique<TProgressStream>(temporary);
    if (!stream->open(handle, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        ::unlink(QFile::encodeName(temporary).constData());
        throw EFCreateError(fileName);
    }
    m_writing.insert(stream.get(), {temporary, fileName});
    return stream;
}

bool TTransferFiles::finish(QIODevice *stream, bool success)
{
    if (m_reading.remove(stream))
        return success;
    const auto pending = m_writing.find(stream);
    if (pending == m_writing.end())
        return success;
    const QByteArray temporary = QFile::encodeName(pending->temporary);
    // rename() replaces the entry of that name, a link too, and never writes through it.
    const bool replaced = success && std::rename(temporary.constData(), QFile::encodeName(pending->target).constData()) == 0;
    if (!replaced)
        ::unlink(temporary.constData());
    m_writing.erase(pending);
    return replaced;
}
