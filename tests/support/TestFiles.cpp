#include "TestFiles.h"

#include "TestPaths.h"

#include <QFile>
#include <QProcess>

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<cannot read " + path.toLocal8Bit() + '>';
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString packFixture(const QString &folder, const QString &name, const QList<QPair<QString, QByteArray>> &files)
{
    const QString stub = folder + QStringLiteral("/") + name + QStringLiteral(".stub");
    if (!writeFile(stub, "not really a program"))
        return {};
    QStringList arguments{QStringLiteral("--exe"), stub, QStringLiteral("--out"), folder + QStringLiteral("/") + name};
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString source = folder + QStringLiteral("/%1.%2.part").arg(name).arg(i);
        if (!writeFile(source, files[i].second))
            return {};
        arguments << files[i].first + QStringLiteral("=") + source;
    }
    if (QProcess::execute(binPath(QStringLiteral("tessaro-pack")), arguments) != 0)
        return {};
    return folder + QStringLiteral("/") + name;
}
