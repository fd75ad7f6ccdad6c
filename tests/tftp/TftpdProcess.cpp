#include "TftpdProcess.h"

#include "TestPaths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>

TftpdProcess::~TftpdProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool TftpdProcess::start(const QString &root, const QStringList &extraArguments)
{
    QStringList arguments{QStringLiteral("--root"), root};
    arguments += extraArguments.isEmpty()
        ? QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--bind"), QStringLiteral("127.0.0.1")}
        : extraArguments;
    m_process.start(binPath(QStringLiteral("tessaro-tftpd")), arguments);
    QByteArray banner;
    const QDeadlineTimer deadline(10000);
    m_process.waitForStarted();
    while (!banner.contains('\n') && m_process.state() == QProcess::Running && !deadline.hasExpired()) {
        m_process.waitForReadyRead(50);
        banner += m_process.readAllStandardError();
    }
    if (m_process.state() != QProcess::Running)
        banner += m_process.readAllStandardError();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("serving .* on [0-9.]+:(\\d+)")).match(QString::fromLocal8Bit(banner));
    m_port = match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
    m_errorText = QString::fromLocal8Bit(banner).trimmed();
    return m_port != 0;
}

QStringList TftpdProcess::lines()
{
    m_partial += m_process.readAllStandardOutput();
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
        m_process.waitForReadyRead(20);
    }
    return true;
}

QString TftpdProcess::waitForRequester(const QString &fileName, bool writeOperation, int timeoutMs)
{
    const QString suffix = (writeOperation ? QStringLiteral(" - Write access to ") : QStringLiteral(" - Read access to "))
        + fileName + QStringLiteral(" granted");
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
        m_process.waitForReadyRead(20);
    }
}
