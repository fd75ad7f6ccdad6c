#include "TransferWatch.h"

#include "tftp/ITftpHost.h"

#include <QFileInfo>

namespace {

constexpr int kPollMs = 500;
constexpr qint64 kEndReported = -1;

TTransferProgress progressOf(const TTransferRecord &transfer)
{
    TTransferProgress progress;
    progress.File = QFileInfo(transfer.FileName).fileName();
    progress.Writing = transfer.Writing;
    progress.Bytes = transfer.Bytes;
    progress.Size = transfer.Size;
    progress.Ended = transfer.ended();
    const QDateTime until = transfer.ended() ? transfer.Ended : QDateTime::currentDateTimeUtc();
    const qint64 ms = transfer.Started.msecsTo(until);
    progress.Rate = ms > 0 ? double(transfer.Bytes) * 1000.0 / double(ms) : 0.0;
    return progress;
}

} // namespace

TTransferWatch::TTransferWatch(ITftpHost &host, const QString &switchAddress, QObject *parent)
    : QObject(parent), m_host(host), m_switchAddress(switchAddress)
{
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &TTransferWatch::poll);
    m_timer.start();
}

void TTransferWatch::poll()
{
    for (const TTransferRecord &transfer : m_host.TransfersOf(m_switchAddress)) {
        const auto reported = m_reported.constFind(transfer.Id);
        if (reported != m_reported.cend()
            && (*reported == kEndReported || (*reported == transfer.Bytes && !transfer.ended())))
            continue;
        m_reported.insert(transfer.Id, transfer.ended() ? kEndReported : transfer.Bytes);
        emit transferProgress(progressOf(transfer));
    }
}
