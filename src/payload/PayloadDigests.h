#pragma once

#include <QByteArray>
#include <QHash>
#include <QLatin1StringView>
#include <QString>

#include <optional>

// The SHA-256 of every file in the payload, recorded by the packer in one more payload file
// in sha256sum's own format, so that `sha256sum -c` checks the extracted files as they are:
// one line per file, in packing order, of 64 lower-case hex digits, two blanks and the name
// as stored (lowered). A name holding a backslash, CR or LF is escaped as sha256sum escapes
// it (\\, \r, \n) and its line starts with a backslash.
//
// A payload without the list was packed before the packer recorded digests; its images are
// accepted unchecked, as they were then. A payload with the list vouches for all its files,
// so an image that the list does not name is refused: the packer did not put it there.
inline constexpr QLatin1StringView kDigestListName("digests.sha256");

// The list's line for one file, newline included: the writer's half of the format.
QByteArray digestLine(const QByteArray &storedName, const QByteArray &bytes);

// A digest list as read from a payload. Parsing is strict, since a list that is not exactly
// what the packer writes is itself damaged; only CRLF line ends and a missing newline after
// the last line are let pass.
class PayloadDigests final
{
public:
    // The list's digests, or an object whose error() names the first bad line and its fault.
    static PayloadDigests parse(const QByteArray &list);

    bool isValid() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }

    // The digest recorded for name, which matches in any letter case as the appendix finds
    // its files: 32 raw bytes, or empty when the list has no line for it.
    QByteArray digest(const QString &name) const;
    // The same in lower-case hex, for reports; empty when the list has no line for it.
    QString hexDigest(const QString &name) const;

    // Empty when bytes are what the list recorded for the image name; otherwise why the image
    // must not be used, naming it. Call only on a valid list.
    QString problem(const QString &name, const QByteArray &bytes) const;

private:
    struct Recorded
    {
        QByteArray digest;
        int line = 0;
    };

    QHash<QByteArray, Recorded> m_digests;
    QString m_error;
};

// Whether the image name, extracted from a payload as bytes, may go to a switch: empty when
// it may; otherwise the operator's reason, naming the image. digestList is the payload's
// kDigestListName, none when the payload has no such file (accepted, see above).
QString digestProblem(const std::optional<QByteArray> &digestList, const QString &name, const QByteArray &bytes);
