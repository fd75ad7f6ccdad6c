#pragma once

#include "tftp/StopSignal.h"
#include "tftp/TrivialFTPBase.h"
#include "tftp/UDPServer.h"

#include <QIODevice>

#include <functional>
#include <list>
#include <memory>

struct TPeerInfo
{
    QString PeerIP;
    int PeerPort = 0;
};

class TTrivialFTPServer;
class TTFTPServerThread;

// Asked for each read or write request before its transfer starts. GrantAccess enters true,
// AStream nullptr and FreeStreamOnComplete true; the handler may replace FileName, refuse,
// or supply the stream (which the transfer thread then reads or writes). A failure to open
// the file is raised as EFOpenError (read) or EFCreateError (write).
using TAccessFileEvent =
    std::function<void(TTrivialFTPServer *Sender, QString &FileName, const TPeerInfo &PeerInfo,
                       bool &GrantAccess, QIODevice *&AStream, bool &FreeStreamOnComplete)>;
// Once per started transfer, when it has ended. AStream is nullptr when the server has freed
// it already (FreeStreamOnComplete); otherwise the handler owns it.
using TTransferCompleteEvent = std::function<void(TTrivialFTPServer *Sender, bool Success,
                                                  const TPeerInfo &PeerInfo, QIODevice *AStream,
                                                  bool WriteOperation)>;

// The TFTP server: read and write requests on UDP port 69 (DefaultPort), each transfer on a
// thread of its own over a fresh socket. Requests and completion reports are handled on the
// thread the server lives on, which must keep dispatching events while transfers run.
//
// Deactivation leaves running transfers alone: they end on their own and still report.
// Destroying the server ends them: each sends ERROR 0 "Operation aborted" to its peer and
// reports failure (a write whose last block is already stored reports success), and the
// destructor returns once all have reported, dispatching events meanwhile. The handlers must
// therefore still be usable while the server is destroyed: a host destroys its server before
// its own state, and never from inside one of the server's events.
class TTrivialFTPServer final : public TUDPServer
{
    Q_OBJECT

public:
    // Transfers running at once; a further request is answered with ERROR 0 until one ends.
    // An upgrade needs one at a time; the figure leaves room for a stack's units and for a
    // stray client's retries, and bounds what abandoned requests can hold.
    static constexpr int kMaxOpenTransfers = 64;

    explicit TTrivialFTPServer(QObject *parent = nullptr);
    ~TTrivialFTPServer() override;
    Q_DISABLE_COPY_MOVE(TTrivialFTPServer)

    TAccessFileEvent OnReadFile;
    TAccessFileEvent OnWriteFile;
    TTransferCompleteEvent OnTransferComplete;

    // While OnTransferComplete runs: the packets the reported transfer sent again because its
    // peer stayed silent, a measure of how lossy the path to that peer is.
    int CompletingRetransmissions() const { return m_completingRetransmissions; }

protected:
    void DoUDPRead(QByteArrayView datagram, TSocketHandle &binding) override;

private:
    friend class TTFTPServerThread;

    void handleRequest(const TTFTPRequest &request, const TPeerInfo &peer);
    void doReadFile(QString fileName, const TPeerInfo &peer, int requestedBlockSize);
    void doWriteFile(QString fileName, const TPeerInfo &peer, int requestedBlockSize);
    // Asks the host, and opens the named file itself when the host supplied no stream.
    QIODevice *admitRequest(const TAccessFileEvent &event, QString &fileName, const TPeerInfo &peer,
                            bool &freeStreamOnComplete, QIODevice::OpenMode fileMode);
    void startTransfer(std::unique_ptr<TTFTPServerThread> transfer);
    void doTransferComplete(bool success, const TPeerInfo &peer, QIODevice *stream, bool freeStream,
                            bool writeOperation, int retransmissions);
    void reapTransfers();

    // Raised by the destructor; every running transfer watches it.
    TStopSignal m_transferStop;
    std::list<std::unique_ptr<TTFTPServerThread>> m_transfers;
    // Started transfers whose completion report has not run yet.
    int m_unreported = 0;
    int m_completingRetransmissions = 0;
};
