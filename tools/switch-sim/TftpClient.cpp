#include "TftpClient.h"

#include <QFile>
#include <QUrl>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

TftpClient::TftpClient(const QHostAddress &source, const QHostAddress &server, quint16 port, const QString &fileName,
                       QObject *parent)
    : QObject(parent), m_source(source.toString()),
      m_url(QStringLiteral("tftp://%1:%2/%3").arg(server.toString()).arg(port).arg(QString::fromLatin1(QUrl::toPercentEncoding(fileName))))
{
    connect(&m_curl, &QProcess::finished, this, &TftpClient::done);
    connect(&m_curl, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_error = QStringLiteral("curl: ") + m_curl.errorString();
            emit finished(false);
        }
    });
    m_inputWatch.setInterval(10);
    connect(&m_inputWatch, &QTimer::timeout, this, &TftpClient::watchInput);
}

TftpClient::~TftpClient()
{
    m_curl.disconnect(this);
    if (m_curl.state() != QProcess::NotRunning) {
        m_curl.kill();
        m_curl.waitForFinished(5000);
    }
    if (m_output >= 0)
        ::close(m_output);
}

// No configuration file and no proxy: the client goes straight to the server. A server that
// does not answer fails the copy within seconds, as a switch's client gives up.
void TftpClient::start(const QStringList &direction)
{
    m_curl.start(QStringLiteral("curl"), QStringList{QStringLiteral("-q"), QStringLiteral("--silent"), QStringLiteral("--show-error"),
                                                     QStringLiteral("--noproxy"), QStringLiteral("*"),
                                                     QStringLiteral("--connect-timeout"), QStringLiteral("1"),
                                                     QStringLiteral("--interface"), m_source}
                     + direction + QStringList{m_url});
}

// curl writes the file into a pipe of the switch's own rather than through QProcess, which
// would drain it at once: a transfer to be broken off then cannot run more than a pipe's
// worth ahead of the bytes the switch has counted, however late the switch gets to them.
void TftpClient::download(qint64 abortAfter)
{
    m_abortAfter = abortAfter;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        m_error = QStringLiteral("no pipe for curl");
        QMetaObject::invokeMethod(this, [this] { emit finished(false); }, Qt::QueuedConnection);
        return;
    }
    m_output = ends[0];
    const int writeEnd = ends[1];
    ::fcntl(m_output, F_SETFL, O_NONBLOCK);
    if (abortAfter > 0)
        ::fcntl(m_output, F_SETPIPE_SZ, 4096);
    m_outputReady = std::make_unique<QSocketNotifier>(m_output, QSocketNotifier::Read);
    connect(m_outputReady.get(), &QSocketNotifier::activated, this, &TftpClient::readOutput);
    m_curl.setStandardOutputFile(QProcess::nullDevice());
    m_curl.setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDOUT_FILENO); });
    start({QStringLiteral("--output"), QStringLiteral("-")});
    ::close(writeEnd);
}

void TftpClient::upload(const QByteArray &bytes, qint64 abortAfter)
{
    m_abortAfter = abortAfter;
    start({QStringLiteral("--upload-file"), QStringLiteral("-")});
    if (abortAfter <= 0) {
        m_curl.write(bytes);
        m_curl.closeWriteChannel();
        return;
    }
    m_handedOver = m_curl.write(bytes.left(abortAfter));
    m_inputWatch.start();
}

void TftpClient::readOutput()
{
    if (m_output < 0)
        return;
    char buffer[65536];
    ssize_t count;
    while ((count = ::read(m_output, buffer, sizeof buffer)) > 0)
        m_received.append(buffer, count);
    if (count == 0)
        m_outputReady->setEnabled(false);
    if (m_abortAfter > 0 && m_received.size() >= m_abortAfter && !m_killed) {
        m_killed = true;
        m_curl.kill();
    }
}

// curl sends the next block of an upload only after the server acknowledged the one before,
// and reads its input a block at a time. Once every byte handed over has left the pipe and
// curl sits in read() on its standard input, the server holds every whole block of them:
// killing curl then leaves the server with a transfer broken off part-way.
void TftpClient::watchInput()
{
    if (m_curl.state() != QProcess::Running || m_curl.bytesToWrite() > 0)
        return;
    QFile syscall(QStringLiteral("/proc/%1/syscall").arg(m_curl.processId()));
    if (!syscall.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> fields = syscall.readAll().split(' ');
    if (fields.size() >= 2 && fields[0] == QByteArray::number(SYS_read) && fields[1] == "0x0") {
        m_inputWatch.stop();
        m_killed = true;
        m_curl.kill();
    }
}

void TftpClient::done(int exitCode, QProcess::ExitStatus status)
{
    m_inputWatch.stop();
    readOutput();
    m_error = QString::fromLocal8Bit(m_curl.readAllStandardError()).trimmed();
    if (m_killed)
        m_error = QStringLiteral("the transfer was broken off");
    emit finished(!m_killed && status == QProcess::NormalExit && exitCode == 0);
}
