#include "tftp/LogLines.h"

QString tftpLogLine(const TPeerInfo &peer, const QString &text)
{
    return QStringLiteral("%1:%2 - ").arg(peer.PeerIP).arg(peer.PeerPort) + text;
}

QString requestLogText(bool writeOperation, const QString &fileName, bool granted)
{
    return QStringLiteral("%1 access to %2 %3")
        .arg(writeOperation ? QStringLiteral("Write") : QStringLiteral("Read"), fileName,
             granted ? QStringLiteral("granted") : QStringLiteral("denied"));
}

QString transferLogText(bool success, qint64 bytes)
{
    return QStringLiteral("Transfer %1 - %2 bytes transferred")
        .arg(success ? QStringLiteral("completed") : QStringLiteral("aborted"))
        .arg(bytes);
}
