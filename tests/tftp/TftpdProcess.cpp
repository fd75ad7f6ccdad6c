#include "TftpdProcess.h"

#include "tftp/LogLines.h"

#include "TestPaths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QRegularExpression>

// The server names its port on stderr once it serves; the log lines go to stdout.
bool TftpdProcess::start(const QString &root, const QStringList &extraArguments)
{
    QStringList arguments{QStringLiteral("--root"), root};
    arguments += extraArguments.isEmpty()
        ? QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--bind"), QStringLiteral("127.0.0.1")}
        : extraArguments;
    QRegularExpressionMatch match;
    const bool ready = m_peer.start(binPath(QStringLiteral("tessaro-tftpd")), arguments, QProcess::StandardError,
                                    QRegularExpression(QStringLiteral("serving .* on [0-9.]+:(\\d+)")), &match);
    m_port = ready ? quint16(match.captured(1).toUInt()) : 0;
    return ready;
}

bool TftpdProcess::startRefusing(const QString &emptyRoot)
{
    return QDir(emptyRoot).mkpath(QStringLiteral("conf_file.txt")) && start(emptyRoot);
}

QStringList TftpdProcess::lines()
{
    m_partial += process().readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines << QString::fromLocal8Bit(m_partial.left(end));
        m_partial.remove(0, end + 1);
    }
    return m_lines;
}

bool TftpdProcess::waitForLine(const QString &line, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!lines().contains(line)) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
        process().waitForReadyRead(20);
    }
    return true;
}

QString TftpdProcess::waitForRequester(const QString &fileName, bool writeOperation, int timeoutMs)
{
    const QString suffix = QStringLiteral(" - ") + requestLogText(writeOperation, fileName, true);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QStringList all = lines();
        for (auto it = all.crbegin(); it != all.crend(); ++it) {
            if (it->endsWith(suffix))
                return it->left(it->size() - suffix.size());
        }
        if (deadline.hasExpired())
            return {};
        QCoreApplication::processEvents();
        process().waitForReadyRead(20);
    }
}
