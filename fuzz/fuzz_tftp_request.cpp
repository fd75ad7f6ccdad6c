#include "FuzzCheck.h"

#include "tftp/CheckAccess.h"
#include "tftp/TrivialFTPBase.h"

#include <QFileInfo>

// A request that parses names a read or a write, and a name that the root check grants
// lies inside the root: by its text, and by its real location when the file exists. The
// root holds a file and a folder; beside it lies a folder whose name begins with the root's.

namespace {

QString makeRoot()
{
    const QString base = QFileInfo(scratchFolder()).canonicalFilePath();
    const QString root = base + QStringLiteral("/Quillo");
    FUZZ_CHECK(QDir().mkpath(root + QStringLiteral("/sub")) && QDir().mkpath(base + QStringLiteral("/Quillo-other")));
    scratchFile(QStringLiteral("Quillo/image.ros"), "image");
    scratchFile(QStringLiteral("Quillo/sub/inner.txt"), "inner");
    scratchFile(QStringLiteral("Quillo-other/secret"), "secret");
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
    const QString real = QFileInfo(name).canonicalFilePath();
    FUZZ_CHECK(real.isEmpty() || insideByText(real, root));
    return 0;
}
