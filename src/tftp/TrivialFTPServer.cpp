#include "tftp/TrivialFTPServer.h"

#include "UDPBase_p.h"

#include "platform/HandOver.h"

#include <QFile>

#include <atomic>
#include <thread>

namespace {

constexpr int kTransferTimeoutMs = 1500;
// Silences after which the transfer gives up; the same packet is sent at most this often.
constexpr int kMaxRetries = 3;

QString unexpectedOperationText(const TPeerInfo &peer)
{
    return QStringLiteral("Unexpected operation from %1:%2").arg(peer.PeerIP).arg(peer.PeerPort);
}

} // namespace

// One transfer, lock-step over a socket of its own: one packet in flight, resent after
// 1500 ms without an answer that moves the transfer on, at most three times.
class TTFTPServerThread
{
public:
    TTFTPServerThread(TTrivialFTPServer *server, int requestedBlockSize, bool freeStreamOnComplete,
                      QIODevice *stream, const TPeerInfo &peer)
        : m_stream(stream)
        , m_server(server)
        , m_requestedBlockSize(requestedBlockSize)
        , m_freeStreamOnComplete(freeStreamOnComplete)
        , m_peer(peer)
    {
        m_client.SetPeer(peer.PeerIP, peer.PeerPort);
        m_client.SetReceiveTimeout(kTransferTimeoutMs);
        m_client.SetBufferSize(kTftpDefaultBlockSize + kTftpHeaderSize);
        m_client.SetStopSignal(&server->m_transferStop);
    }
    virtual ~TTFTPServerThread()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    Q_DISABLE_COPY_MOVE(TTFTPServerThread)

    void Start() { m_thread = std::thread([this] { execute(); }); }
    bool Finished() const { return m_finished.load(std::memory_order_acquire); }

protected:
    // Puts the next packet to send into m_response.
    virtual void BuildResponse() = 0;
    // The peer's DATA or ACK for block; true when the transfer is over.
    virtual bool handleData(quint16 block, QByteArrayView data);
    virtual bool handleAck(quint16 block);
    virtual bool OverOnSilence() const = 0;
    virtual bool Succeeded() const = 0;
    virtual bool WriteOperation() const = 0;

    [[noreturn]] void RaiseUnexpectedOperation() const
    {
        throw ETFTPIllegalOperation(unexpectedOperationText(m_peer));
    }

    QIODevice *const m_stream;
    int m_blockSize = kTftpDefaultBlockSize;
    quint16 m_blockCounter = 0;
    QByteArray m_response;
    bool m_endOfData = false;

private:
    enum class Answer { Over, Silence, Answered };

    void execute();
    void transfer();
    // Waits one time-out for the peer's answer to the packet just sent.
    Answer awaitAnswer();
    void sendErrorQuietly(quint16 code, const QString &message);
    void report();

    TTrivialFTPServer *const m_server;
    const int m_requestedBlockSize;
    const bool m_freeStreamOnComplete;
    const TPeerInfo m_peer;
    TUDPClient m_client;
    // Packets sent again after a silence of the peer, for the completion report.
    int m_retransmissions = 0;
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

bool TTFTPServerThread::handleData(quint16, QByteArrayView)
{
    RaiseUnexpectedOperation();
}

bool TTFTPServerThread::handleAck(quint16)
{
    RaiseUnexpectedOperation();
}

void TTFTPServerThread::execute()
{
    try {
        transfer();
    } catch (const ETFTPException &e) {
        sendErrorQuietly(e.code(), e.message());
    } catch (const Exception &e) {
        sendErrorQuietly(0, e.message());
    } catch (const std::exception &e) {
        sendErrorQuietly(0, QString::fromLocal8Bit(e.what()));
    }
    report();
    m_client.Close();
    TTrivialFTPServer *const server = m_server;
    m_finished.store(true, std::memory_order_release);
    // From here on the server may join and free this object at any time.
    QMetaObject::invokeMethod(server, [server] { server->reapTransfers(); }, Qt::QueuedConnection);
}

void TTFTPServerThread::transfer()
{
    const int granted = optionAckBlockSize(m_requestedBlockSize);
    if (granted > 0) {
        m_blockSize = granted;
        m_response = makeOptionAckPacket(granted);
        m_client.SetBufferSize(granted + kTftpHeaderSize);
    }
    int retries = 0;
    for (;;) {
        if (m_response.isEmpty()) {
            BuildResponse();
            retries = 0;
        }
        if (retries == kMaxRetries)
            throw ETFTPIllegalOperation(QStringLiteral("Timeout"));
        if (retries > 0)
            ++m_retransmissions;
        m_client.Send(m_response);
        switch (awaitAnswer()) {
        case Answer::Over:
            return;
        case Answer::Silence:
            ++retries;
            break;
        case Answer::Answered:
            break;
        }
    }
}

TTFTPServerThread::Answer TTFTPServerThread::awaitAnswer()
{
    m_client.StartWait();
    for (;;) {
        QByteArrayView datagram;
        switch (m_client.receiveFromPeer(datagram)) {
        case TUDPBase::Stopped:
            if (OverOnSilence())
                return Answer::Over;
            throw ETFTPAbort();
        case TUDPBase::TimedOut:
            return OverOnSilence() ? Answer::Over : Answer::Silence;
        case TUDPBase::Received:
            break;
        }

        quint16 opcode = 0;
        quint16 block = 0;
        if (!readWord(datagram, 0, opcode))
            throw EReadError();
        switch (opcode) {
        case TFTP_DATA:
            if (!readWord(datagram, 2, block))
                throw EReadError();
            // A repeated DATA means the peer missed the ACK: it is sent again at once.
            return handleData(block, datagram.sliced(kTftpHeaderSize)) ? Answer::Over : Answer::Answered;
        case TFTP_ACK:
            if (!readWord(datagram, 2, block))
                throw EReadError();
            if (handleAck(block))
                return Answer::Over;
            if (m_response.isEmpty())
                return Answer::Answered;
            // A stale or repeated ACK draws nothing: answering it with a resend would have
            // every DATA sent twice from then on, and each of those acknowledged twice again.
            // Only the time-out resends.
            continue;
        case TFTP_ERROR:
            throw ETFTPAbort();
        default:
            RaiseUnexpectedOperation();
        }
    }
}

void TTFTPServerThread::sendErrorQuietly(quint16 code, const QString &message)
{
    try {
        m_client.Send(makeErrorPacket(code, message));
    } catch (const std::exception &) {
        // The transfer is over either way; its report still follows.
    }
}

void TTFTPServerThread::report()
{
    const bool success = Succeeded();
    try {
        Platform::runOnThreadOf(m_server, [&] {
            m_server->doTransferComplete(success, m_peer, m_stream, m_freeStreamOnComplete, WriteOperation(),
                                         m_retransmissions);
        });
    } catch (...) {
        // A failing completion handler has nobody else to tell.
    }
}

// Serves a read request: sends DATA, expects ACK.
class TTFTPServerSendFileThread final : public TTFTPServerThread
{
public:
    using TTFTPServerThread::TTFTPServerThread;

protected:
    void BuildResponse() override
    {
        ++m_blockCounter;
        startDataPacket(m_response, m_blockCounter);
        const qsizetype header = m_response.size();
        m_response.resize(header + m_blockSize);
        qsizetype filled = 0;
        while (filled < m_blockSize) {
            const qint64 read = m_stream->read(m_response.data() + header + filled, m_blockSize - filled);
            if (read < 0)
                throw EReadError();
            if (read == 0)
                break;
            filled += read;
        }
        m_response.resize(header + filled);
        // A file whose length is a multiple of the block size ends with an empty DATA.
        m_endOfData = filled < m_blockSize;
    }

    bool handleAck(quint16 block) override
    {
        if (block != m_blockCounter)
            return false;
        // The transfer is over only once the client holds the last block, so a lost last
        // DATA is sent again like any other.
        if (m_endOfData) {
            m_completed = true;
            return true;
        }
        m_response.truncate(0);
        return false;
    }

    bool OverOnSilence() const override { return false; }
    bool Succeeded() const override { return m_completed; }
    bool WriteOperation() const override { return false; }

private:
    bool m_completed = false;
};

// Serves a write request: sends ACK, expects DATA.
class TTFTPServerReceiveFileThread final : public TTFTPServerThread
{
public:
    using TTFTPServerThread::TTFTPServerThread;

protected:
    void BuildResponse() override { m_response = makeAckPacket(m_blockCounter); }

    bool handleData(quint16 block, QByteArrayView data) override
    {
        // A repeated block is acknowledged again but not written again.
        if (block != quint16(m_blockCounter + 1))
            return false;
        if (!data.isEmpty() && m_stream->write(data.data(), data.size()) != data.size()) {
            throw ETFTPAllocationExceeded(
                QStringLiteral("Unable to complete write request, progress halted at %1 bytes").arg(m_stream->pos()));
        }
        ++m_blockCounter;
        m_endOfData = data.size() < m_blockSize;
        m_response.truncate(0);
        return false;
    }

    // After the last block has been stored and acknowledged, the transfer waits once more
    // for a repeated last DATA (its ACK was lost); silence then ends it.
    bool OverOnSilence() const override { return m_endOfData; }
    bool Succeeded() const override { return m_endOfData; }
    bool WriteOperation() const override { return true; }
};

TTrivialFTPServer::TTrivialFTPServer(QObject *parent) : TUDPServer(parent)
{
    SetDefaultPort(69);
}

TTrivialFTPServer::~TTrivialFTPServer()
{
    SetActive(false);
    m_transferStop.Raise();
    waitWhileDispatching([this] { return m_unreported == 0; });
    m_transfers.clear();
}

void TTrivialFTPServer::DoUDPRead(QByteArrayView datagram, TSocketHandle &binding)
{
    const TPeerInfo peer{binding.PeerIP, binding.PeerPort};
    auto sendError = [&](quint16 code, const QString &message) {
        sendDatagram(binding.Handle, makeSocketAddress(peer.PeerIP, peer.PeerPort), makeErrorPacket(code, message));
    };
    try {
        handleRequest(parseRequest(datagram), peer);
    } catch (const ETFTPException &e) {
        sendError(e.code(), e.message());
    } catch (const Exception &e) {
        sendError(0, e.message());
        throw;
    } catch (const std::exception &e) {
        sendError(0, QString::fromLocal8Bit(e.what()));
        throw;
    }
}

void TTrivialFTPServer::handleRequest(const TTFTPRequest &request, const TPeerInfo &peer)
{
    switch (request.Status) {
    case TTFTPRequest::Truncated:
        throw EReadError();
    case TTFTPRequest::UnexpectedOperation:
        throw ETFTPIllegalOperation(unexpectedOperationText(peer));
    case TTFTPRequest::UnsupportedMode:
        throw ETFTPIllegalOperation(QStringLiteral("Unsupported transfer mode: \"%1\"").arg(request.BadText));
    case TTFTPRequest::BadBlockSize:
        throw EConvertError(request.BadText);
    case TTFTPRequest::Ok:
        break;
    }
    // Refused before the host is asked, so that a flood of abandoned requests holds at most
    // this many threads, sockets and files until their time-outs end them.
    if (m_unreported >= kMaxOpenTransfers)
        throw ETFTPException(0, QStringLiteral("Too many transfers at once, try again later"));
    if (request.Opcode == TFTP_RRQ)
        doReadFile(request.FileName, peer, request.RequestedBlockSize);
    else
        doWriteFile(request.FileName, peer, request.RequestedBlockSize);
}

void TTrivialFTPServer::doReadFile(QString fileName, const TPeerInfo &peer, int requestedBlockSize)
{
    bool freeStreamOnComplete = true;
    QIODevice *stream = nullptr;
    try {
        stream = admitRequest(OnReadFile, fileName, peer, freeStreamOnComplete, QIODevice::ReadOnly);
    } catch (const EFOpenError &e) {
        throw ETFTPFileNotFound(e.message());
    }
    startTransfer(std::make_unique<TTFTPServerSendFileThread>(this, requestedBlockSize, freeStreamOnComplete,
                                                              stream, peer));
}

void TTrivialFTPServer::doWriteFile(QString fileName, const TPeerInfo &peer, int requestedBlockSize)
{
    bool freeStreamOnComplete = true;
    QIODevice *stream = nullptr;
    try {
        // Unbuffered: once a block is acknowledged, its bytes are in the file.
        stream = admitRequest(OnWriteFile, fileName, peer, freeStreamOnComplete,
                              QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    } catch (const EFCreateError &e) {
        throw ETFTPAllocationExceeded(e.message());
    }
    startTransfer(std::make_unique<TTFTPServerReceiveFileThread>(this, requestedBlockSize, freeStreamOnComplete,
                                                                 stream, peer));
}

QIODevice *TTrivialFTPServer::admitRequest(const TAccessFileEvent &event, QString &fileName, const TPeerInfo &peer,
                                           bool &freeStreamOnComplete, QIODevice::OpenMode fileMode)
{
    bool grantAccess = true;
    QIODevice *stream = nullptr;
    if (event)
        event(this, fileName, peer, grantAccess, stream, freeStreamOnComplete);
    if (!grantAccess) {
        if (freeStreamOnComplete)
            delete stream;
        throw ETFTPAccessViolation(QStringLiteral("Access to %1 denied").arg(fileName));
    }
    if (stream)
        return stream;
    auto file = std::make_unique<QFile>(fileName);
    if (!file->open(fileMode)) {
        if (fileMode & QIODevice::WriteOnly)
            throw EFCreateError(fileName);
        throw EFOpenError(fileName);
    }
    freeStreamOnComplete = true;
    return file.release();
}

void TTrivialFTPServer::startTransfer(std::unique_ptr<TTFTPServerThread> transfer)
{
    reapTransfers();
    transfer->Start();
    m_transfers.push_back(std::move(transfer));
    ++m_unreported;
}

void TTrivialFTPServer::doTransferComplete(bool success, const TPeerInfo &peer, QIODevice *stream,
                                           bool freeStream, bool writeOperation, int retransmissions)
{
    --m_unreported;
    m_completingRetransmissions = retransmissions;
    // Streams are freed on this thread, where they were made.
    if (freeStream) {
        delete stream;
        stream = nullptr;
    }
    if (OnTransferComplete)
        OnTransferComplete(this, success, peer, stream, writeOperation);
    else
        delete stream;
}

void TTrivialFTPServer::reapTransfers()
{
    m_transfers.remove_if([](const std::unique_ptr<TTFTPServerThread> &transfer) { return transfer->Finished(); });
}
