#include "tftp/LogLines.h"

QString TftpLogLine(const TPeerInfo &peer, const QString &text)
{
    return QStringLiteral("%1:%2 - ").arg(peer.PeerIP).arg(peer.PeerPort) + text;
}

QString RequestLogText(bool writeOperation, const QString &fileName, bool granted)
{
    return QStringLiteral("%1 access to %2 %3")
        .arg(writeOperation ? QStringLiteral("Write") : QStringLiteral("Read"), fileName,
             granted ? QStringLiteral("granted") : QStringLiteral("denied"));
}

QString TransferLogText(bool success, qint64 bytes)
{
    return QStringLiteral("Transfer %1 - %2 bytes transferred")
        .arg(success ? QStringLiteral("completed") : QStringLiteral("aborted"))
        .arg(bytes);
}
