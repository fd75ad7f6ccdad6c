#include "payload/PayloadDigests.h"

#include <QCryptographicHash>

#include <algorithm>

namespace {

constexpr qsizetype kHexDigits = 64;
const QByteArray kSeparator("  ");

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QString hex(const QByteArray &digest)
{
    return QString::fromLatin1(digest.toHex());
}

bool isLowerHex(QByteArrayView digits)
{
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// sha256sum's escapes, undone; none for a backslash that starts no escape it writes.
std::optional<QByteArray> unescaped(const QByteArray &name)
{
    QByteArray plain;
    plain.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] != '\\') {
            plain += name[i];
            continue;
        }
        if (++i == name.size())
            return std::nullopt;
        switch (name[i]) {
        case '\\': plain += '\\'; break;
        case 'n': plain += '\n'; break;
        case 'r': plain += '\r'; break;
        default: return std::nullopt;
        }
    }
    return plain;
}

QString quoted(const QByteArray &name)
{
    return QLatin1Char('\'') + QString::fromUtf8(name) + QLatin1Char('\'');
}

} // namespace

QByteArray digestLine(const QByteArray &storedName, const QByteArray &bytes)
{
    QByteArray name = storedName;
    const bool escaped = name.contains('\\') || name.contains('\n') || name.contains('\r');
    if (escaped)
        name.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r");
    return (escaped ? QByteArray("\\") : QByteArray()) + sha256(bytes).toHex() + kSeparator + name + '\n';
}

PayloadDigests PayloadDigests::parse(const QByteArray &list)
{
    PayloadDigests digests;
    if (list.isEmpty()) {
        digests.m_error = QStringLiteral("it lists no file");
        return digests;
    }
    QList<QByteArray> lines = list.split('\n');
    if (list.endsWith('\n'))
        lines.removeLast();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int number = int(i + 1);
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        const bool escaped = line.startsWith('\\');
        if (escaped)
            line.remove(0, 1);
        const auto fail = [&](const QString &fault) {
            digests.m_digests.clear();
            digests.m_error = QStringLiteral("line %1: %2").arg(number).arg(fault);
            return digests;
        };
        if (line.isEmpty())
            return fail(QStringLiteral("the line is empty"));
        if (line.size() < kHexDigits || !isLowerHex(QByteArrayView(line).first(kHexDigits)))
            return fail(QStringLiteral("the digest is not 64 lower-case hex digits"));
        if (line.mid(kHexDigits, kSeparator.size()) != kSeparator)
            return fail(QStringLiteral("the digest is not followed by two blanks"));
        const QByteArray written = line.mid(kHexDigits + kSeparator.size());
        if (written.isEmpty())
            return fail(QStringLiteral("the line names no file"));
        const std::optional<QByteArray> name = escaped ? unescaped(written) : written;
        if (!name)
            return fail(QStringLiteral("the name has a backslash that is not \\\\, \\n or \\r"));
        if (const auto earlier = digests.m_digests.constFind(*name); earlier != digests.m_digests.cend())
            return fail(QStringLiteral("%1 is listed again, first on line %2").arg(quoted(*name)).arg(earlier->line));
        digests.m_digests.insert(*name, {QByteArray::fromHex(line.first(kHexDigits)), number});
    }
    return digests;
}

QByteArray PayloadDigests::digest(const QString &name) const
{
    // Only the request is lowered, as the appendix lowers it to find the file.
    return m_digests.value(name.toUtf8().toLower()).digest;
}

QString PayloadDigests::hexDigest(const QString &name) const
{
    return hex(digest(name));
}

QString PayloadDigests::problem(const QString &name, const QByteArray &bytes) const
{
    const QByteArray recorded = digest(name);
    if (recorded.isEmpty())
        return QStringLiteral("The image %1 has no line in the payload's %2: it was not packed with the program's "
                              "other files. Get an intact copy of Tessaro.")
            .arg(name, kDigestListName);
    const QByteArray actual = sha256(bytes);
    if (actual == recorded)
        return {};
    return QStringLiteral("The image %1 in the payload is damaged: its SHA-256 is %2, but the payload's %3 "
                          "records %4. Get an intact copy of Tessaro.")
        .arg(name, hex(actual), kDigestListName, hex(recorded));
}

QString digestProblem(const std::optional<QByteArray> &digestList, const QString &name, const QByteArray &bytes)
{
    if (!digestList)
        return {};
    const PayloadDigests digests = PayloadDigests::parse(*digestList);
    if (!digests.isValid())
        return QStringLiteral("The payload's %1 is damaged (%2), so the image %3 cannot be checked. "
                              "Get an intact copy of Tessaro.")
            .arg(kDigestListName, digests.error(), name);
    return digests.problem(name, bytes);
}
