#include "platform/WorkingFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

QString WorkingFolder()
{
    QString temp = QDir::tempPath();
    while (temp.endsWith(QLatin1Char('/')))
        temp.chop(1);
    return temp + QStringLiteral("/Quillo/");
}

FolderCheck makePrivateFolder(const QString &folder, QString &reason)
{
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    if (::mkdir(path.constData(), S_IRWXU) == 0)
        return FolderCheck::Private;
    if (errno != EEXIST)
        return FolderCheck::NotCreated;
    struct stat status{};
    if (::lstat(path.constData(), &status) != 0)
        return FolderCheck::NotCreated;
    if (S_ISLNK(status.st_mode))
        reason = QStringLiteral("is a link");
    else if (!S_ISDIR(status.st_mode))
        reason = QStringLiteral("is not a folder");
    else if (status.st_uid != ::geteuid())
        reason = QStringLiteral("belongs to another user");
    else if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        reason = QStringLiteral("can be written by other users");
    else
        return FolderCheck::Private;
    return FolderCheck::NotPrivate;
}
