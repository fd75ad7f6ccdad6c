#pragma once

#include "tftp/ProgressStream.h"

#include <QHash>
#include <QStringList>

#include <memory>

// The files behind a host's transfers. A write lands in a fresh file beside its target,
// created without following any link, and replaces the target (the name itself, never a
// link's destination) only once the transfer has completed: a failed or stray write leaves
// the earlier file whole, and a reader of it keeps reading the bytes it started with. A
// write to a file that is being read is refused.
class TTransferFiles final
{
public:
    TTransferFiles() = default;
    Q_DISABLE_COPY_MOVE(TTransferFiles)

    // Opens a name that CheckAccess granted. Raises EFOpenError for a read, EFCreateError for
    // a write, ETFTPAccessViolation for a write to a file that is being read.
    std::unique_ptr<TProgressStream> open(const QString &fileName, bool writing);
    // When stream's transfer has ended: a completed write replaces its target, a failed one
    // is discarded. Returns whether the transfer's file is in place, false also when a
    // completed write could not replace its target. The caller frees the stream afterwards.
    bool finish(QIODevice *stream, bool success);

private:
    struct PendingWrite
    {
        QString temporary;
        QString target;
    };

    std::unique_ptr<TProgressStream> openForReading(const QString &fileName);
    std::unique_ptr<TProgressStream> openReplacement(const QString &fileName);

    // The real locations of the files being read, once per running read.
    QHash<const QIODevice *, QString> m_reading;
    QHash<const QIODevice *, PendingWrite> m_writing;
};
