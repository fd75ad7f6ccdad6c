#pragma once

#include "payload/ExeStrm.h"
#include "tftp/ITftpHost.h"
#include "tftp/TransferFiles.h"
#include "tftp/TrivialFTPServer.h"

#include <QHostAddress>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <deque>
#include <map>

class TProgressStream;

// The TFTP server's host without a face: grants access only inside its root folder,
// supplies the transfers' streams, logs each request and finished transfer, counts the open
// transfers, keeps the flags, journals every transfer it grants and follows the ones the
// upgrade procedure announced. Its views (the host window, the console server, a test) learn
// what happens through its signals.
//
// The server's requests and completions, and so every signal, run on the host's thread,
// which must keep dispatching events. The ITftpHost methods may be called from any thread:
// an upgrade runs per switch, each on a thread of its own.
class TTftpHost final : public QObject, public ITftpHost
{
    Q_OBJECT

public:
    // Transfers the journal keeps at most; the oldest ended ones make room, so that a
    // stranger's flood of requests cannot grow it without bound.
    static constexpr qsizetype kJournalLimit = 2048;

    // payloadFile is the executable whose appendix holds the firmware images; empty for none.
    explicit TTftpHost(const QString &payloadFile, QObject *parent = nullptr);
    ~TTftpHost() override;
    Q_DISABLE_COPY_MOVE(TTftpHost)

    TTrivialFTPServer *const TftpServer;

    // The folder every request is confined to; the working folder at first.
    QString RootFolder() const;
    void SetRootFolder(const QString &folder);
    // Transfers granted and not yet ended; read on the host's thread.
    int OpenTransfers() const { return m_openTransfers; }

    bool TransferDone() const override { return m_transferDone; }
    bool TransferOk() const override { return m_transferOk; }
    void SetTransferDone(bool value) override { m_transferDone = value; }
    void SetTransferOk(bool value) override { m_transferOk = value; }

    quint64 ExpectTransfer(const QString &peerAddress, const QString &name, bool writing) override;
    std::optional<TTransferRecord> ExpectedTransfer(quint64 ticket) const override;
    void ForgetExpectedTransfer(quint64 ticket) override;
    QList<TTransferRecord> TransfersOf(const QString &peerAddress) const override;

    bool HasAppendix() override;
    bool AppendixFileExists(const QString &name) override;
    std::unique_ptr<QIODevice> OpenAppendixFile(const QString &name) override;

signals:
    // One line per request and one per finished transfer, as LogLines.h words them.
    void logLine(const QString &line);
    void openTransfersChanged(int count);
    // A transfer was granted; its stream stays valid until transferEnding names it.
    void transferStarted(const TTransferRecord &record, TProgressStream *stream);
    // The stream's transfer has ended and the stream is about to be freed.
    void transferEnding(TProgressStream *stream);

private:
    struct Entry
    {
        QHostAddress peer;
        TTransferRecord record;
        // While the transfer runs; its count of bytes is the record's, live.
        TProgressStream *stream = nullptr;
        // The expectation the transfer fulfils, 0 for none.
        quint64 ticket = 0;
    };
    struct Expectation
    {
        QHostAddress peer;
        QString name;
        bool writing = false;
        // The grant that fulfilled it, 0 while the peer has not asked.
        quint64 recordId = 0;
        // Kept here once the transfer has ended, so that the journal may let it go.
        std::optional<TTransferRecord> ended;
    };

    void admit(bool writing, QString &fileName, const TPeerInfo &peer, bool &grantAccess, QIODevice *&stream,
               bool &freeStreamOnComplete);
    void complete(bool success, const TPeerInfo &peer, QIODevice *stream, int retransmissions);
    void changeOpenTransfers(int delta);

    // The helpers below run with m_mutex held, or on the host's thread when they only read.
    void journal(const TTransferRecord &record, TProgressStream *stream, const QString &rootFolder);
    quint64 claimExpectation(const QHostAddress &peer, const TTransferRecord &record, const QString &rootFolder);
    void settle(const QIODevice *stream, bool success, qint64 bytes, int retransmissions, const QByteArray &received);
    // The journal's place of the transfer that runs on stream, -1 for none.
    qsizetype runningIndex(const QIODevice *stream) const;
    const Entry *entryOf(quint64 recordId) const;
    static TTransferRecord liveRecord(const Entry &entry);

    TEXEAppendixFileSystem m_appendix;
    TTransferFiles m_files;
    int m_openTransfers = 0;
    quint64 m_lastRecordId = 0;
    std::atomic<bool> m_transferDone{false};
    std::atomic<bool> m_transferOk{true};

    // Guards what other threads reach: the root, the journal and the expectations. Only the
    // host's thread changes the journal; it reads it without the lock.
    mutable QMutex m_mutex;
    QString m_rootFolder;
    // In the order of the grants, so by ascending record id.
    std::deque<Entry> m_journal;
    std::map<quint64, Expectation> m_expectations;
    quint64 m_lastTicket = 0;
};
