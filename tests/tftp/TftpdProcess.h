#pragma once

#include "PeerProcess.h"

#include <QStringList>

// tessaro-tftpd serving a folder on a loopback port the system chooses, with its log lines
// at hand.
class TftpdProcess final
{
public:
    TftpdProcess() = default;
    Q_DISABLE_COPY_MOVE(TftpdProcess)

    // False (with the reason in errorText) when the server does not come up.
    bool start(const QString &root, const QStringList &extraArguments = {});
    // A server that refuses every copy the switch makes: its root, an empty folder, holds no
    // image and a folder where the switch's configuration would be written.
    bool startRefusing(const QString &emptyRoot);
    quint16 port() const { return m_port; }
    QProcess &process() { return m_peer.process(); }
    const QString &errorText() const { return m_peer.errorText(); }

    // The log lines so far.
    QStringList lines();
    // Waits for a line equal to line; false after timeoutMs.
    bool waitForLine(const QString &line, int timeoutMs = 10000);
    // The "ip:port" of the last line that grants a request for fileName; empty when no such
    // line comes within timeoutMs.
    QString waitForRequester(const QString &fileName, bool writeOperation, int timeoutMs = 10000);

private:
    PeerProcess m_peer;
    QStringList m_lines;
    QByteArray m_partial;
    quint16 m_port = 0;
};
