#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken property is a finding like a crash: libFuzzer keeps the input that aborted.
#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (false)

inline QByteArray fuzzInput(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A folder of this process's own for the readers that take a file name, removed at exit: in
// memory where the system has /dev/shm, since every input is written there once or more.
class ScratchFolder final
{
public:
    ScratchFolder()
    {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        path = base + QStringLiteral("/tessaro-fuzz-") + QString::number(QCoreApplication::applicationPid());
        QDir().mkpath(path);
    }
    ~ScratchFolder() { QDir(path).removeRecursively(); }
    Q_DISABLE_COPY_MOVE(ScratchFolder)

    QString path;
};

inline QString scratchFolder()
{
    static const ScratchFolder folder;
    return folder.path;
}

inline QString scratchFile(const QString &name, const QByteArray &bytes)
{
    const QString path = scratchFolder() + u'/' + name;
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
    return path;
}
