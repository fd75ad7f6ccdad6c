#pragma once

#include <QHostAddress>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

// The switch's TFTP client: curl, a real one, run as a child process. The file's bytes pass
// through curl's standard output or input, so the switch sees exactly what moved and can stop
// the client part-way through, as a transfer that dies would.
class TftpClient final : public QObject
{
    Q_OBJECT

public:
    // source is the switch's own address, which its transfers leave from, as a real
    // switch's do: the PC's server tells its switch's transfers from other peers' by it.
    TftpClient(const QHostAddress &source, const QHostAddress &server, quint16 port, const QString &fileName,
               QObject *parent = nullptr);
    ~TftpClient() override;

    // Reads the file; with abortAfter > 0 the client is killed once that many bytes arrived.
    void download(qint64 abortAfter = 0);
    // Writes bytes as the file; with abortAfter > 0 the client gets only that many bytes and
    // is killed once it has sent all it could of them.
    void upload(const QByteArray &bytes, qint64 abortAfter = 0);

    const QByteArray &received() const { return m_received; }
    // curl's own words when it failed.
    QString errorString() const { return m_error; }

signals:
    // ok: the whole file moved.
    void finished(bool ok);

private:
    void start(const QStringList &direction);
    void readOutput();
    void watchInput();
    void done(int exitCode, QProcess::ExitStatus status);

    QString m_source;
    QString m_url;
    QProcess m_curl;
    int m_output = -1; // the read end of curl's standard output
    std::unique_ptr<QSocketNotifier> m_outputReady;
    QByteArray m_received;
    qint64 m_abortAfter = 0;
    qint64 m_handedOver = 0;
    bool m_killed = false;
    QTimer m_inputWatch;
    QString m_error;
};
