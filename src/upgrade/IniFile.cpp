#include "upgrade/IniFile.h"

#include <QFile>

QString TIniFile::ReadString(const QString &section, const QString &key) const
{
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A line ends at CR, LF or both: a carriage return alone must not carry the next line
    // into a value. The empty line between CR and LF is skipped with the blank ones.
    QString text = QString::fromLatin1(file.readAll());
    text.replace(u'\r', u'\n');
    bool inSection = false;
    for (const QString &rawLine : text.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            if (inSection)
                return {};
            inSection = line.mid(1, line.size() - 2).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inSection && equals > 0 && line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}
