#include "FuzzCheck.h"

#include "tftp/CheckAccess.h"
#include "tftp/TrivialFTPBase.h"

#include <QFileInfo>

// A request that parses names a read or a write, and a name that the root check grants
// lies inside the root: by its text, and by its real location, links followed, for a file
// that exists or one that a write would create. The root holds a file, a folder, and links
// to a folder and a file outside it, in a folder beside it whose name begins with the root's.

namespace {

QString makeRoot()
{
    const QString base = QFileInfo(scratchFolder()).canonicalFilePath();
    const QString root = base + QStringLiteral("/Quillo");
    FUZZ_CHECK(QDir().mkpath(root + QStringLiteral("/sub")) && QDir().mkpath(base + QStringLiteral("/Quillo-other")));
    scratchFile(QStringLiteral("Quillo/image.ros"), "image");
    scratchFile(QStringLiteral("Quillo/sub/inner.txt"), "inner");
    scratchFile(QStringLiteral("Quillo-other/secret"), "secret");
    FUZZ_CHECK(QFile::link(base + QStringLiteral("/Quillo-other"), root + QStringLiteral("/out")));
    FUZZ_CHECK(QFile::link(base + QStringLiteral("/Quillo-other/secret"), root + QStringLiteral("/secret-link")));
    return root;
}

// Below the root by whole path segments, none of them empty, "." or "..".
bool insideByText(const QString &path, const QString &root)
{
    if (!path.startsWith(root + u'/'))
        return false;
    const QStringList below = path.mid(root.size() + 1).split(u'/');
    for (const QString &segment : below) {
        if (segment.isEmpty() || segment == u'.' || segment == QStringLiteral(".."))
            return false;
    }
    return true;
}

// Where the name leads: the real location of its nearest existing folder, links followed,
// with the rest of the name below it.
QString realLocation(const QString &path)
{
    QString existing = path;
    QString rest;
    while (!QFileInfo::exists(existing) && existing.contains(u'/')) {
        const qsizetype slash = existing.lastIndexOf(u'/');
        rest = existing.mid(slash) + rest;
        existing = existing.left(slash);
    }
    return QFileInfo(existing).canonicalFilePath() + rest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString root = makeRoot();
    const TTFTPRequest request = parseRequest(fuzzInput(data, size));
    if (request.Status != TTFTPRequest::Ok)
        return 0;
    FUZZ_CHECK(request.Opcode == TFTP_RRQ || request.Opcode == TFTP_WRQ);
    const int granted = optionAckBlockSize(request.RequestedBlockSize);
    FUZZ_CHECK(granted == 0 || (granted >= kTftpDefaultBlockSize && granted <= kTftpMaxBlockSize && granted <= request.RequestedBlockSize));

    QString name = request.FileName;
    if (!CheckAccess(name, root))
        return 0;
    FUZZ_CHECK(insideByText(name, root));
    FUZZ_CHECK(insideByText(realLocation(name), root));
    return 0;
}
