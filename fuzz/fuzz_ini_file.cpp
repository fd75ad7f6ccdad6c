#include "FuzzCheck.h"

#include "upgrade/IniFile.h"

#include <QStringList>

#include <algorithm>

// Whatever the file holds: a value comes back trimmed and on one line; section and key names
// match in any letter case; and a section added at the end of the file, under a name found
// nowhere before it, gives back the value written into it.

namespace {

QString asciiUpper(const QString &text)
{
    QString upper = text;
    for (QChar &c : upper) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return upper;
}

struct Lookup
{
    QString section;
    QString key;
};

// Section and key names as the file's own lines give them, a few per input.
QList<Lookup> namesInFile(const QByteArray &file)
{
    constexpr qsizetype kMaxLookups = 4;
    QList<Lookup> lookups;
    QString section;
    for (const QByteArray &raw : QByteArray(file).replace('\r', '\n').split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']'))
            section = line.mid(1, line.size() - 2).trimmed();
        else if (line.indexOf(u'=') > 0)
            lookups.append({section, line.left(line.indexOf(u'=')).trimmed()});
        if (lookups.size() == kMaxLookups)
            break;
    }
    return lookups;
}

// A section name that the file's text does not hold in any letter case.
QString unusedSection(const QByteArray &file)
{
    const QByteArray lowered = file.toLower();
    QString name = QStringLiteral("s");
    while (lowered.contains(name.toLatin1()))
        name += u's';
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file = fuzzInput(data, size);
    const TIniFile ini(scratchFile(QStringLiteral("table.ini"), file));
    for (const Lookup &lookup : namesInFile(file)) {
        const QString value = ini.ReadString(lookup.section, lookup.key);
        FUZZ_CHECK(value == value.trimmed() && !value.contains(u'\n') && !value.contains(u'\r'));
        FUZZ_CHECK(ini.ReadString(asciiUpper(lookup.section), asciiUpper(lookup.key)) == value);
    }

    // The value is the input's first line: up to its first CR or LF.
    qsizetype end = file.size();
    for (const char lineEnd : {'\r', '\n'}) {
        if (const qsizetype at = file.indexOf(lineEnd); at >= 0)
            end = std::min(end, at);
    }
    const QByteArray value = file.left(end);
    const QString section = unusedSection(file);
    const TIniFile extended(scratchFile(QStringLiteral("extended.ini"),
                                        file + "\n[" + section.toLatin1() + "]\nkey=" + value + "\n"));
    FUZZ_CHECK(extended.ReadString(section, QStringLiteral("KEY")) == QString::fromLatin1(value).trimmed());
    return 0;
}
