#pragma once

#include "run/RunEvents.h"

#include <QHash>
#include <QObject>
#include <QTimer>

class ITftpHost;

// Every transfer the TFTP host makes with one switch, as it goes: the backup the switch
// saves, the image its copy command fetches, and the final image its intermediate image
// fetches by itself while the run only watches its status. Polled on the host's thread.
class TTransferWatch final : public QObject
{
    Q_OBJECT

public:
    TTransferWatch(ITftpHost &host, const QString &switchAddress, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TTransferWatch)

    // Reports what changed since the last poll: a transfer that moved, or that ended.
    void poll();

signals:
    void transferProgress(const TTransferProgress &progress);

private:
    ITftpHost &m_host;
    const QString m_switchAddress;
    QTimer m_timer;
    // The bytes last reported of each transfer, by its grant number; -1 once its end was.
    QHash<quint64, qint64> m_reported;
};
