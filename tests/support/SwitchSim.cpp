#include "SwitchSim.h"

#include "TestPaths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

SwitchSim::SwitchSim(const QStringList &scenario, const QString &address) : m_address(address)
{
    QDir(m_dir.path()).mkpath(QStringLiteral("state"));
    m_arguments << QStringLiteral("--address") << address << QStringLiteral("--telnet-port") << QStringLiteral("0")
                << QStringLiteral("--snmp-port") << QStringLiteral("0")
                << QStringLiteral("--transcript") << m_dir.filePath(QStringLiteral("transcript.bin"))
                << QStringLiteral("--state") << m_dir.filePath(QStringLiteral("state")) << scenario;
}

SwitchSim::~SwitchSim()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool SwitchSim::start()
{
    m_process.setProgram(binPath(QStringLiteral("tessaro-switch-sim")));
    m_process.setArguments(m_arguments);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    QByteArray output;
    while (!deadline.hasExpired()) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            m_error = QStringLiteral("no ready line: ") + QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
        while (m_process.canReadLine()) {
            const QString line = QString::fromLatin1(m_process.readLine()).trimmed();
            if (line == QStringLiteral("ready"))
                return true;
            const QStringList words = line.split(QLatin1Char(' '));
            if (words.size() == 2)
                m_ports.insert(words[0], quint16(words[1].section(QLatin1Char(':'), -1).toUInt()));
        }
    }
    m_error = QStringLiteral("timed out waiting for the simulated switch");
    return false;
}

QByteArray SwitchSim::transcript() const
{
    QFile file(m_dir.filePath(QStringLiteral("transcript.bin")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray SwitchSim::stateFile(const QString &name) const
{
    QFile file(m_dir.filePath(QStringLiteral("state/") + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QJsonObject> SwitchSim::events(const QString &name) const
{
    QList<QJsonObject> result;
    for (const QByteArray &line : stateFile(QStringLiteral("events.jsonl")).split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (!event.isEmpty() && (name.isEmpty() || event.value(QStringLiteral("event")).toString() == name))
            result.append(event);
    }
    return result;
}

bool SwitchSim::waitForEvents(const QString &name, qsizetype count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (events(name).size() < count) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return true;
}
