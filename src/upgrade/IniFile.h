#pragma once

#include <QString>

// A reader of initialisation files with the matching rules the image table is written for:
// section and key names without regard to letter case, blanks around keys and values
// dropped, ";" comments and blank lines ignored, lines ended by CR, LF or both, anything
// missing read as empty. Qt's own
// INI support matches keys case-sensitively and gives commas and percent signs meanings of
// their own, so it is not used here. The file is read at each lookup.
class TIniFile final
{
public:
    explicit TIniFile(QString fileName) : m_fileName(std::move(fileName)) {}

    QString FileName() const { return m_fileName; }
    QString ReadString(const QString &section, const QString &key) const;

private:
    QString m_fileName;
};
