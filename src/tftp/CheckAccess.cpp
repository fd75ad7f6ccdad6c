#include "tftp/CheckAccess.h"

#include <QDir>
#include <QFileInfo>

namespace {

#if defined(Q_OS_WIN)
constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseSensitive;
#endif

// Absolute, with ".", ".." and doubled separators resolved by the text alone.
QString expandedPath(const QDir &base, const QString &name)
{
    return QDir::cleanPath(base.absoluteFilePath(name));
}

} // namespace

bool CheckAccess(QString &requestedName, const QString &rootFolder)
{
    // The folder of a file inside it normalises the root the same way as any requested name.
    const QString root = QFileInfo(expandedPath(QDir(rootFolder), QStringLiteral("a.b"))).path();
    requestedName = expandedPath(QDir(root), requestedName);
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return requestedName.startsWith(prefix, kFileNameCase);
}
