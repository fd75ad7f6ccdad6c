#include "SwitchSim.h"

#include "TestPaths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>

SwitchSim::SwitchSim(const QStringList &scenario, const QString &address) : m_address(address)
{
    QDir(m_dir.path()).mkpath(QStringLiteral("state"));
    m_arguments << QStringLiteral("--address") << address << QStringLiteral("--telnet-port") << QStringLiteral("0")
                << QStringLiteral("--snmp-port") << QStringLiteral("0")
                << QStringLiteral("--transcript") << m_dir.filePath(QStringLiteral("transcript.bin"))
                << QStringLiteral("--state") << m_dir.filePath(QStringLiteral("state")) << scenario;
}

bool SwitchSim::start()
{
    static const QRegularExpression ready(QStringLiteral("^ready$"), QRegularExpression::MultilineOption);
    if (!m_peer.start(binPath(QStringLiteral("tessaro-switch-sim")), m_arguments, QProcess::StandardOutput, ready)) {
        m_error = m_peer.errorText() + QStringLiteral(": ") + QString::fromLocal8Bit(m_peer.process().readAllStandardError());
        return false;
    }
    for (const QByteArray &line : m_peer.output().split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() == 2)
            m_ports.insert(QString::fromLatin1(words[0]), quint16(words[1].mid(words[1].lastIndexOf(':') + 1).toUInt()));
    }
    return true;
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
