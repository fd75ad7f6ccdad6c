#include "tftp/CheckAccess.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

#if defined(Q_OS_WIN)
constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseSensitive;
#endif

// The system gives up on longer chains of links too.
constexpr int kMaxLinkDepth = 40;

// Absolute, with ".", ".." and doubled separators resolved by the text alone.
QString expandedPath(const QDir &base, const QString &name)
{
    return QDir::cleanPath(base.absoluteFilePath(name));
}

// Where path leads once every link on the way is followed, also when the file itself does
// not exist (yet): the real location of its deepest existing folder with the rest appended,
// and for a dangling link the place it points to, which is where a write would land.
QString realLocation(const QString &path, int depth = 0)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.canonicalFilePath();
    if (info.isSymLink() && depth < kMaxLinkDepth)
        return realLocation(info.symLinkTarget(), depth + 1);
    const QString parent = info.path();
    if (parent == path)
        return path;
    const QString folder = realLocation(parent, depth);
    return folder.endsWith(QLatin1Char('/')) ? folder + info.fileName() : folder + QLatin1Char('/') + info.fileName();
}

bool liesInside(const QString &name, const QString &root)
{
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return name.startsWith(prefix, kFileNameCase);
}

bool holdsControlCharacters(const QString &name)
{
    return std::any_of(name.begin(), name.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

bool CheckAccess(QString &requestedName, const QString &rootFolder)
{
    // The folder of a file inside it normalises the root the same way as any requested name.
    const QString root = QFileInfo(expandedPath(QDir(rootFolder), QStringLiteral("a.b"))).path();
    const bool plainName = !holdsControlCharacters(requestedName);
    requestedName = expandedPath(QDir(root), requestedName);
    return plainName && liesInside(requestedName, root) && liesInside(realLocation(requestedName), realLocation(root));
}

bool SameFileName(const QString &expandedName, const QString &otherExpandedName)
{
    return expandedName.compare(otherExpandedName, kFileNameCase) == 0;
}
