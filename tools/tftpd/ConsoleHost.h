#pragma once

#include "tftp/TransferFiles.h"
#include "tftp/TrivialFTPServer.h"

#include <cstdio>

// The console server's side of the TFTP engine: requests confined to the root folder,
// refused ones answered with error 2, one line per request and per finished transfer in the
// wizard's log formats.
class TConsoleHost final
{
public:
    TConsoleHost(TTrivialFTPServer &server, const QString &rootFolder, std::FILE *log);
    Q_DISABLE_COPY_MOVE(TConsoleHost)

private:
    void accessFile(bool writeOperation, QString &fileName, const TPeerInfo &peer, bool &grantAccess,
                    QIODevice *&stream, bool &freeStreamOnComplete);
    void transferComplete(bool success, const TPeerInfo &peer, QIODevice *stream);
    void writeLine(const QString &line);

    const QString m_rootFolder;
    std::FILE *const m_log;
    TTransferFiles m_files;
};
