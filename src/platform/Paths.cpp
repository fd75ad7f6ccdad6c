#include "platform/Paths.h"

#include <QDir>

namespace Platform {
namespace {

qsizetype lastSeparator(const QString &path, PathStyle style)
{
    if (style == PathStyle::Windows)
        return std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u':'));
    return path.lastIndexOf(u'/');
}

} // namespace

QString folderPart(const QString &path, PathStyle style)
{
    return path.left(lastSeparator(path, style) + 1);
}

QString fileNamePart(const QString &path, PathStyle style)
{
    return path.mid(lastSeparator(path, style) + 1);
}

QString defaultConfigFileName(PathStyle style)
{
    if (style == PathStyle::Windows)
        return QStringLiteral("c:\\conffile.txt");
    return QDir::homePath() + QStringLiteral("/conffile.txt");
}

} // namespace Platform
