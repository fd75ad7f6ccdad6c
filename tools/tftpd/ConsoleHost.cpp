#include "ConsoleHost.h"

#include "platform/Exceptions.h"
#include "tftp/CheckAccess.h"
#include "tftp/LogLines.h"

TConsoleHost::TConsoleHost(TTrivialFTPServer &server, const QString &rootFolder, std::FILE *log)
    : m_rootFolder(rootFolder)
    , m_log(log)
{
    server.OnReadFile = [this](TTrivialFTPServer *, QString &fileName, const TPeerInfo &peer, bool &grantAccess,
                               QIODevice *&stream, bool &freeStreamOnComplete) {
        accessFile(false, fileName, peer, grantAccess, stream, freeStreamOnComplete);
    };
    server.OnWriteFile = [this](TTrivialFTPServer *, QString &fileName, const TPeerInfo &peer, bool &grantAccess,
                                QIODevice *&stream, bool &freeStreamOnComplete) {
        accessFile(true, fileName, peer, grantAccess, stream, freeStreamOnComplete);
    };
    server.OnTransferComplete = [this](TTrivialFTPServer *, bool success, const TPeerInfo &peer, QIODevice *stream,
                                       bool) { transferComplete(success, peer, stream); };
}

void TConsoleHost::accessFile(bool writeOperation, QString &fileName, const TPeerInfo &peer, bool &grantAccess,
                              QIODevice *&stream, bool &freeStreamOnComplete)
{
    freeStreamOnComplete = false;
    bool granted = false;
    auto writeRequestLine = [&] { writeLine(tftpLogLine(peer, requestLogText(writeOperation, fileName, granted))); };
    grantAccess = CheckAccess(fileName, m_rootFolder);
    if (grantAccess) {
        try {
            stream = m_files.open(fileName, writeOperation).release();
        } catch (const Exception &) {
            // The line says "denied" and the server answers with the open failure.
            writeRequestLine();
            throw;
        }
        granted = true;
    }
    writeRequestLine();
}

void TConsoleHost::transferComplete(bool success, const TPeerInfo &peer, QIODevice *stream)
{
    // A received file that could not take its name counts as a failed transfer.
    success = m_files.finish(stream, success);
    writeLine(tftpLogLine(peer, transferLogText(success, stream ? stream->pos() : 0)));
    delete stream;
}

void TConsoleHost::writeLine(const QString &line)
{
    std::fprintf(m_log, "%s\n", line.toLocal8Bit().constData());
    std::fflush(m_log);
}
