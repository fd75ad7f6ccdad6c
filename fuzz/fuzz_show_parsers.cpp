#include "FuzzCheck.h"

#include "platform/Exceptions.h"
#include "platform/TextLines.h"
#include "upgrade/ShowParsers.h"

// The switch's answer as the terminal splits it into lines. Whatever came before, a line
// added at the end decides: the last match wins in every parser. The stack unit is one of
// the three answers the procedure knows, or a refusal.

namespace {

const QStringList kKeys{QStringLiteral("System Name:"), QStringLiteral("image-"), QStringLiteral("SW version")};

void checkFindValue(const QStringList &lines)
{
    for (const QString &key : kKeys) {
        const QStringList all = FindAllValues(lines, key);
        FUZZ_CHECK(FindValue(lines, key) == (all.isEmpty() ? QString() : all.last()));
    }
}

void checkLastLineWins(const QStringList &lines)
{
    // A value as a line gives it, unless a colon leads it: that one is dropped with the key's.
    const QString value = lines.isEmpty() ? QString() : Platform::trimmedText(lines.first());
    if (!value.startsWith(u':'))
        FUZZ_CHECK(ParseShowSystem(lines + QStringList{QStringLiteral("  System Name:  ") + value + u' '}).Name == value);

    const TBootVar boot = ParseBootVar(lines + QStringList{QStringLiteral("image-7 : active, selected for next boot")});
    FUZZ_CHECK(boot.Active == 7 && boot.Next == 7);

    FUZZ_CHECK(parseShowStack(lines + QStringList{QStringLiteral("% Unrecognized command")}).isEmpty());
}

void checkVersion(const QStringList &lines)
{
    const TVersion version = ParseVersion(lines, QStringLiteral("SW version"));
    FUZZ_CHECK(!version.Version.contains(u'(') && !version.Date.contains(QStringLiteral("time")));
    FUZZ_CHECK(version.Version == Platform::trimmedText(version.Version) && version.Date == Platform::trimmedText(version.Date));
}

void checkStack(const QStringList &lines)
{
    try {
        const QString unit = parseShowStack(lines);
        FUZZ_CHECK(unit.isEmpty() || unit == QStringLiteral(" unit 1") || unit == QStringLiteral(" unit 2"));
    } catch (const Exception &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList lines = Platform::textLines(QString::fromLatin1(fuzzInput(data, size)));
    checkFindValue(lines);
    checkLastLineWins(lines);
    checkVersion(lines);
    checkStack(lines);
    return 0;
}
