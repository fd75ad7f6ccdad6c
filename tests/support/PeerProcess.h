#pragma once

#include <QProcess>
#include <QRegularExpression>

// A peer program that a test runs against: started with its arguments, ready once what it
// prints matches a pattern, terminated (then killed) when the fixture goes.
class PeerProcess final
{
public:
    PeerProcess() = default;
    ~PeerProcess();
    Q_DISABLE_COPY_MOVE(PeerProcess)

    // Starts program and reads the channel until its output matches ready; false, with the
    // reason in errorText(), when the program ends or ten seconds pass first. match receives
    // the match (for a port the program chose, say).
    bool start(const QString &program, const QStringList &arguments, QProcess::ProcessChannel channel,
               const QRegularExpression &ready, QRegularExpressionMatch *match = nullptr);

    QProcess &process() { return m_process; }
    // What the channel delivered until the program was ready.
    const QByteArray &output() const { return m_output; }
    const QString &errorText() const { return m_errorText; }

private:
    QProcess m_process;
    QByteArray m_output;
    QString m_errorText;
};
