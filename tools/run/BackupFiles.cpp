#include "BackupFiles.h"

#include <QFile>
#include <QFileInfo>

QString freeOldName(const QString &path)
{
    const QFileInfo file(path);
    const QString suffix = file.suffix();
    const QString stem = suffix.isEmpty() || file.completeBaseName().isEmpty()
        ? file.fileName()
        : file.completeBaseName();
    const QString extension = stem == file.fileName() ? QString() : QStringLiteral(".") + suffix;
    for (int n = 1;; ++n) {
        const QString candidate = file.absolutePath() + QStringLiteral("/%1.old%2%3").arg(stem).arg(n).arg(extension);
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return candidate;
    }
}

TKeptBackup keepEarlierBackup(const QString &path)
{
    const QFileInfo file(path);
    if (!file.exists() && !file.isSymLink())
        return {};
    const QString target = freeOldName(path);
    if (!QFile::rename(path, target)) {
        return {{}, QStringLiteral("The existing file %1 could not be moved to %2 to keep it; the new backup would "
                                   "overwrite it. Move it yourself, or give --backup another path.")
                        .arg(path, target)};
    }
    return {target, {}};
}
