#include "tftp/TftpHost.h"

#include "platform/WorkingFolder.h"
#include "tftp/CheckAccess.h"
#include "tftp/LogLines.h"
#include "tftp/ProgressStream.h"

#include <QDateTime>
#include <QFile>
#include <QScopeGuard>

#include <algorithm>

namespace {

// "127.0.0.2" and "::ffff:127.0.0.2" are the same peer; "127.000.000.002" is no address.
bool sameAddress(const QHostAddress &address, const QHostAddress &other)
{
    return address.isEqual(other, QHostAddress::ConvertV4MappedToIPv4);
}

} // namespace

TTftpHost::TTftpHost(const QString &payloadFile, QObject *parent)
    : QObject(parent), TftpServer(new TTrivialFTPServer(this)), m_appendix(payloadFile), m_rootFolder(WorkingFolder())
{
    TftpServer->OnReadFile = [this](TTrivialFTPServer *, QString &name, const TPeerInfo &peer, bool &grant,
                                    QIODevice *&stream, bool &freeStream) {
        admit(false, name, peer, grant, stream, freeStream);
    };
    TftpServer->OnWriteFile = [this](TTrivialFTPServer *, QString &name, const TPeerInfo &peer, bool &grant,
                                     QIODevice *&stream, bool &freeStream) {
        admit(true, name, peer, grant, stream, freeStream);
    };
    TftpServer->OnTransferComplete = [this](TTrivialFTPServer *server, bool success, const TPeerInfo &peer,
                                            QIODevice *stream, bool) {
        complete(success, peer, stream, server->CompletingRetransmissions());
    };
}

TTftpHost::~TTftpHost()
{
    // The server ends running transfers and waits for their reports, which still need the
    // files, the journal and the views: it goes before any of them.
    delete TftpServer;
}

QString TTftpHost::RootFolder() const
{
    const QMutexLocker lock(&m_mutex);
    return m_rootFolder;
}

void TTftpHost::SetRootFolder(const QString &folder)
{
    const QMutexLocker lock(&m_mutex);
    m_rootFolder = folder;
}

quint64 TTftpHost::ExpectTransfer(const QString &peerAddress, const QString &name, bool writing)
{
    const QMutexLocker lock(&m_mutex);
    const quint64 ticket = ++m_lastTicket;
    m_expectations.emplace(ticket, Expectation{QHostAddress(peerAddress), name, writing});
    return ticket;
}

std::optional<TTransferRecord> TTftpHost::ExpectedTransfer(quint64 ticket) const
{
    const QMutexLocker lock(&m_mutex);
    const auto expectation = m_expectations.find(ticket);
    if (expectation == m_expectations.end() || expectation->second.recordId == 0)
        return std::nullopt;
    if (expectation->second.ended)
        return expectation->second.ended;
    // A running transfer is never dropped from the journal.
    const Entry *entry = entryOf(expectation->second.recordId);
    return entry ? std::optional(liveRecord(*entry)) : std::nullopt;
}

void TTftpHost::ForgetExpectedTransfer(quint64 ticket)
{
    const QMutexLocker lock(&m_mutex);
    m_expectations.erase(ticket);
}

QList<TTransferRecord> TTftpHost::TransfersOf(const QString &peerAddress) const
{
    const QHostAddress peer(peerAddress);
    QList<TTransferRecord> records;
    const QMutexLocker lock(&m_mutex);
    for (const Entry &entry : m_journal) {
        if (sameAddress(entry.peer, peer))
            records.append(liveRecord(entry));
    }
    return records;
}

// The payload store opens the executable afresh on every call and keeps nothing between
// calls, so callers on any thread need no lock.
bool TTftpHost::HasAppendix()
{
    return m_appendix.HasAppendix();
}

bool TTftpHost::AppendixFileExists(const QString &name)
{
    return m_appendix.FileExists(name);
}

std::unique_ptr<QIODevice> TTftpHost::OpenAppendixFile(const QString &name)
{
    return m_appendix.OpenFile(name, TExeAppendixStream::AccessMode::Read);
}

void TTftpHost::admit(bool writing, QString &fileName, const TPeerInfo &peer, bool &grantAccess,
                      QIODevice *&stream, bool &freeStreamOnComplete)
{
    freeStreamOnComplete = false;
    bool granted = false;
    const QString rootFolder = RootFolder();
    grantAccess = CheckAccess(fileName, rootFolder);
    // The line is logged also when opening the file fails and the failure goes on to the
    // server, which answers the peer with its error code.
    const auto log = qScopeGuard([&] { emit logLine(tftpLogLine(peer, requestLogText(writing, fileName, granted))); });
    if (!grantAccess)
        return;

    auto opened = m_files.open(fileName, writing);
    TTransferRecord record;
    record.Id = ++m_lastRecordId;
    record.Peer = peer;
    record.FileName = fileName;
    record.Writing = writing;
    record.Size = writing ? 0 : opened->size();
    record.Started = QDateTime::currentDateTime();
    emit transferStarted(record, opened.get());
    {
        const QMutexLocker lock(&m_mutex);
        journal(record, opened.get(), rootFolder);
    }
    stream = opened.release();
    granted = true;
    changeOpenTransfers(1);
}

void TTftpHost::complete(bool success, const TPeerInfo &peer, QIODevice *stream, int retransmissions)
{
    // A received file that could not take its name counts as a failed transfer.
    success = m_files.finish(stream, success);
    const qint64 bytes = stream ? stream->pos() : 0;
    emit logLine(tftpLogLine(peer, transferLogText(success, bytes)));
    emit transferEnding(qobject_cast<TProgressStream *>(stream));

    // The bytes an expected write delivered are read at once, before another peer can write
    // the same name. Only this thread changes the journal, so it reads it without the lock.
    QByteArray received;
    const qsizetype running = runningIndex(stream);
    if (success && running >= 0 && m_journal[running].ticket != 0 && m_journal[running].record.Writing) {
        QFile delivered(m_journal[running].record.FileName);
        if (delivered.open(QIODevice::ReadOnly))
            received = delivered.readAll();
    }
    // Ok before done, for a thread that reads done first. Both before the record ends: a
    // procedure that sees its transfer end and clears them for its next one must not have
    // them set again by this one.
    m_transferOk = success;
    m_transferDone = true;
    {
        const QMutexLocker lock(&m_mutex);
        settle(stream, success, bytes, retransmissions, received);
    }
    delete stream;
    changeOpenTransfers(-1);
}

void TTftpHost::changeOpenTransfers(int delta)
{
    m_openTransfers += delta;
    emit openTransfersChanged(m_openTransfers);
}

void TTftpHost::journal(const TTransferRecord &record, TProgressStream *stream, const QString &rootFolder)
{
    const QHostAddress peer(record.Peer.PeerIP);
    m_journal.push_back({peer, record, stream, claimExpectation(peer, record, rootFolder)});
    if (qsizetype(m_journal.size()) <= kJournalLimit)
        return;
    // The server bounds the running transfers far below the limit, so an ended one is there.
    const auto oldest = std::find_if(m_journal.begin(), m_journal.end(),
                                     [](const Entry &entry) { return entry.record.ended(); });
    if (oldest != m_journal.end())
        m_journal.erase(oldest);
}

// The oldest waiting expectation of this peer, file and direction. The expected name is
// expanded against the root the request was checked against, so that both compare alike.
quint64 TTftpHost::claimExpectation(const QHostAddress &peer, const TTransferRecord &record,
                                    const QString &rootFolder)
{
    for (auto &[ticket, expectation] : m_expectations) {
        if (expectation.recordId != 0 || expectation.writing != record.Writing
            || !sameAddress(expectation.peer, peer))
            continue;
        QString name = expectation.name;
        CheckAccess(name, rootFolder);
        if (SameFileName(name, record.FileName)) {
            expectation.recordId = record.Id;
            return ticket;
        }
    }
    return 0;
}

void TTftpHost::settle(const QIODevice *stream, bool success, qint64 bytes, int retransmissions,
                       const QByteArray &received)
{
    const qsizetype running = runningIndex(stream);
    if (running < 0)
        return;
    Entry &entry = m_journal[running];
    entry.stream = nullptr;
    TTransferRecord &record = entry.record;
    record.Status = success ? TTransferRecord::State::Completed : TTransferRecord::State::Failed;
    record.Bytes = bytes;
    record.Ended = QDateTime::currentDateTime();
    record.Retransmissions = retransmissions;
    const auto expectation = m_expectations.find(entry.ticket);
    if (expectation == m_expectations.end())
        return;
    expectation->second.ended = record;
    expectation->second.ended->Received = received;
}

qsizetype TTftpHost::runningIndex(const QIODevice *stream) const
{
    if (!stream)
        return -1;
    for (qsizetype i = qsizetype(m_journal.size()) - 1; i >= 0; --i) {
        if (m_journal[i].stream == stream)
            return i;
    }
    return -1;
}

const TTftpHost::Entry *TTftpHost::entryOf(quint64 recordId) const
{
    const auto entry = std::lower_bound(m_journal.begin(), m_journal.end(), recordId,
                                        [](const Entry &e, quint64 id) { return e.record.Id < id; });
    return entry != m_journal.end() && entry->record.Id == recordId ? &*entry : nullptr;
}

TTransferRecord TTftpHost::liveRecord(const Entry &entry)
{
    TTransferRecord record = entry.record;
    if (!entry.stream)
        return record;
    // The stream counts what each read asked for, a block past the end at the last one: the
    // file's size bounds a read's count, so that it does not go back when the transfer ends.
    const qint64 total = entry.stream->TotalBytes();
    record.Bytes = record.Writing ? total : std::min(total, record.Size);
    return record;
}
