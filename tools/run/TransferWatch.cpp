#include "TransferWatch.h"

#include "tftp/ITftpHost.h"


namespace {

constexpr int kPollMs = 500;
constexpr qint64 kEndReported = -1;

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
        emit transferProgress(transferProgressOf(transfer));
    }
}
