#include "StartUp.h"

#include "app/files/WizardFiles.h"
#include "payload/ExeStrm.h"
#include "platform/Exceptions.h"
#include "platform/SocketErrors.h"
#include "platform/WorkingFolder.h"
#include "tftp/TftpHost.h"

#include <QFileInfo>

namespace {

constexpr int kTftpPort = 69;

// A payload that cannot be read counts as none.
bool hasPayload(const TEXEAppendixFileSystem &store)
{
    try {
        return store.HasAppendix();
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace

QString prepareWorkingFolder()
{
    const QString folder = WorkingFolder();
    QString reason;
    switch (makePrivateFolder(folder, reason)) {
    case FolderCheck::Private:
        return {};
    case FolderCheck::NotCreated:
        return QStringLiteral("Could not generate directory ") + folder;
    case FolderCheck::NotPrivate:
        break;
    }
    return QStringLiteral("The working folder %1 %2, so it is not safe to use.\nRemove it, or start tessaro-run with "
                          "TMPDIR set to a folder of your own.")
        .arg(folder, reason);
}

QString extractPayload(const QString &programFile)
{
    const TEXEAppendixFileSystem store(programFile);
    if (!hasPayload(store)) {
        return QStringLiteral("%1 carries no payload (image table and firmware images). Run the packed program "
                              "that the build puts in its bin folder.")
            .arg(programFile);
    }
    try {
        extractPayloadFiles(store, WorkingFolder());
    } catch (const Exception &error) {
        return QStringLiteral("The payload could not be unpacked into %1: %2").arg(WorkingFolder(), error.message());
    }
    if (!QFileInfo::exists(WorkingFolder() + QStringLiteral("private.ini")))
        return QStringLiteral("The payload of %1 holds no image table (private.ini).").arg(programFile);
    return {};
}

QString startTftpServer(TTftpHost &host, const QString &programFile)
{
    TTrivialFTPServer &server = *host.TftpServer;
    server.SetDefaultPort(kTftpPort);
    try {
        server.SetActive(true);
    } catch (const ECouldNotBindSocket &) {
        return QStringLiteral("UDP port 69 is in use by another program (a TFTP server?). Stop it, then start "
                              "tessaro-run again.");
    } catch (const EUDPSocketError &error) {
        if (error.code() == Platform::WsaAccessDenied) {
            return QStringLiteral("Binding UDP port 69 is not permitted to this user. tessaro-run needs root, or once: "
                                  "sudo setcap cap_net_bind_service=+ep %1")
                .arg(programFile);
        }
        return QStringLiteral("The TFTP server could not start on UDP port 69: ") + error.message();
    }
    return {};
}
