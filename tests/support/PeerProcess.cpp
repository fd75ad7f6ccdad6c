#include "PeerProcess.h"

#include <QDeadlineTimer>

#include <csignal>

#include <sys/prctl.h>

PeerProcess::~PeerProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool PeerProcess::start(const QString &program, const QStringList &arguments, QProcess::ProcessChannel channel,
                        const QRegularExpression &ready, QRegularExpressionMatch *match)
{
    m_process.setReadChannel(channel);
    // A peer outlives no test, not even one that crashes: it would hold its ports for the next.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(10000)) {
        m_errorText = program + QStringLiteral(": ") + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    for (;;) {
        const QRegularExpressionMatch found = ready.match(QString::fromLocal8Bit(m_output));
        if (found.hasMatch()) {
            if (match)
                *match = found;
            return true;
        }
        if (m_process.state() != QProcess::Running || deadline.hasExpired()) {
            m_output += m_process.readAll();
            m_errorText = QString::fromLocal8Bit(m_output).trimmed();
            if (m_errorText.isEmpty())
                m_errorText = program + QStringLiteral(" did not get ready");
            return false;
        }
        m_process.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 100)));
        m_output += m_process.readAll();
    }
}
