#include "tftp/LogLines.h"

QString tftpLogLine(const TPeerInfo &peer, const QString &text)
{
    return QStringLiteral("%1:%2 - ").arg(peer.PeerIP).arg(peer.PeerPort) + text;
}

QString escapedControlCharacters(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control)
            escaped += c;
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            escaped += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else
            escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    }
    return escaped;
}

QString requestLogText(bool writeOperation, const QString &fileName, bool granted)
{
    return QStringLiteral("%1 access to %2 %3")
        .arg(writeOperation ? QStringLiteral("Write") : QStringLiteral("Read"), escapedControlCharacters(fileName),
             granted ? QStringLiteral("granted") : QStringLiteral("denied"));
}

QString transferLogText(bool success, qint64 bytes)
{
    return QStringLiteral("Transfer %1 - %2 bytes transferred")
        .arg(success ? QStringLiteral("completed") : QStringLiteral("aborted"))
        .arg(bytes);
}
