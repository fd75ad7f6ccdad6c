#include "app/files/WizardFiles.h"

#include "payload/ExeStrm.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/TextLines.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString kImageTable = QStringLiteral("private.ini");
constexpr int kHelpDocuments = 3;
constexpr int kOldLogNames = 10;

void saveBytes(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throw EFCreateError(path);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw EWriteError();
}

// The first free name among log.old1.log to log.old10.log; empty when all are taken.
QString freeOldLogName(const QString &logPath)
{
    const QString stem = logPath.chopped(QStringLiteral(".log").size());
    for (int n = 1; n <= kOldLogNames; ++n) {
        const QString candidate = stem + QStringLiteral(".old%1.log").arg(n);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
    return {};
}

} // namespace

void extractPayloadFiles(const TEXEAppendixFileSystem &store, const QString &folder)
{
    if (!store.FileExists(kImageTable))
        return;
    {
        const auto table = store.OpenFile(kImageTable, TExeAppendixStream::AccessMode::Read);
        saveLines(folder + kImageTable, Platform::textLines(QString::fromLatin1(table->readAll())));
    }
    for (int n = 1; n <= kHelpDocuments; ++n) {
        const QString name = QStringLiteral("Upgrade%1.pdf").arg(n);
        try {
            if (const auto document = store.OpenFile(name, TExeAppendixStream::AccessMode::Read))
                saveBytes(folder + name, document->data());
        } catch (const std::exception &) {
            // A document that cannot be written leaves its help button without effect.
        }
    }
}

void saveLines(const QString &path, const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toLatin1() + '\n';
    saveBytes(path, bytes);
}

QString TRunLogFiles::logName(const QString &deviceAddress)
{
    return QStringLiteral("Quillo_") + deviceAddress + QStringLiteral(".log");
}

void TRunLogFiles::save(const QString &deviceAddress, const QString &configFileName, const QStringList &lines,
                        const QString &workingFolder)
{
    if (deviceAddress.isEmpty() || configFileName.isEmpty())
        return;
    const QString name = logName(deviceAddress);
    const QString besideConfig = Platform::folderPart(configFileName) + name;
    if (std::exchange(m_logRotationPending, false) && QFileInfo::exists(besideConfig)) {
        const QString old = freeOldLogName(besideConfig);
        if (!old.isEmpty())
            QFile::rename(besideConfig, old);
    }
    saveLines(workingFolder + name, lines);
    saveLines(besideConfig, lines);
}
