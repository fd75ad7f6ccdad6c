#include "CliSession.h"
#include "CommandTable.h"
#include "Device.h"
#include "TftpClient.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QTime>
#include <QTimer>

namespace {

const QByteArray kTftpScheme = QByteArrayLiteral("tftp://");

void refuse(CliSession &session)
{
    session.print(QByteArrayLiteral("% Invalid input detected\r\n\r\n"));
    session.printPrompt();
}

// The switch takes any abbreviation of a keyword from three letters on ("run", "star").
bool abbreviates(const QByteArray &word, const QByteArray &keyword)
{
    return word.size() >= 3 && keyword.startsWith(word);
}

QJsonObject copyEvent(bool download, const QString &fileName, const QString &server, const QString &result)
{
    return {{QStringLiteral("event"), QStringLiteral("copy")},
            {QStringLiteral("direction"), download ? QStringLiteral("download") : QStringLiteral("upload")},
            {QStringLiteral("file"), fileName},
            {QStringLiteral("server"), server},
            {QStringLiteral("result"), result}};
}

// The text in green, for a switch that colours its output.
QByteArray green(const Scenario &scenario, const QByteArray &text)
{
    return scenario.colour ? "\x1b[32m" + text + "\x1b[0m" : text;
}

const CopyFault *findFault(const Scenario &scenario, bool download, CopyFaultKind kind)
{
    for (const CopyFault &fault : scenario.copyFaults) {
        const bool targeted = fault.target == CopyTarget::Any || fault.target == (download ? CopyTarget::Image : CopyTarget::Config);
        if (targeted && fault.kind == kind)
            return &fault;
    }
    return nullptr;
}

// One file copy over TFTP, from the command to its last line. It lives beside the session,
// not inside it: a copy goes on when the connection that started it closes, as on a switch.
class FileCopy final : public QObject
{
public:
    FileCopy(CliSession &session, bool download, const QByteArray &server, const QByteArray &fileName)
        : QObject(session.parent()), m_session(&session), m_device(session.device()), m_download(download),
          m_server(server), m_fileName(QString::fromLatin1(fileName))
    {
        session.hold();
        m_device.copyBusy = true;
        if (hasFault(CopyFaultKind::NeverStarts)) {
            record(QStringLiteral("never-starts"));
            return;
        }
        m_ticks.setInterval(m_device.scenario().copyTick);
        connect(&m_ticks, &QTimer::timeout, this, [this] { print(green(m_device.scenario(), "!")); });
        QTimer::singleShot(m_device.scenario().copyStartDelay, this, &FileCopy::begin);
    }

private:
    const CopyFault *fault(CopyFaultKind kind) const { return findFault(m_device.scenario(), m_download, kind); }
    bool hasFault(CopyFaultKind kind) const { return fault(kind) != nullptr; }

    void print(const QByteArray &text)
    {
        if (m_session)
            m_session->print(text);
    }

    void record(const QString &result, const QJsonObject &details = {})
    {
        QJsonObject event = copyEvent(m_download, m_fileName, QString::fromLatin1(m_server), result);
        for (auto it = details.begin(); it != details.end(); ++it)
            event.insert(it.key(), it.value());
        m_device.record(event);
    }

    void begin()
    {
        const QByteArray name = m_fileName.toLatin1();
        // A switch that colours its output also rings the bell as the transfer starts.
        print("Accessing file '" + name + "' on " + m_server + "..." + (m_device.scenario().colour ? "\x07" : "") + "\r\n"
              + (m_download ? "Loading " + name + " from " + m_server : "Storing " + name + " on " + m_server) + ':');
        // The switch contacts nothing outside the loopback network: such a server is unreachable.
        const QHostAddress server(QString::fromLatin1(m_server));
        if (server.protocol() != QAbstractSocket::IPv4Protocol || !server.isLoopback())
            return fail(QStringLiteral("unreachable"), {});
        const CopyFault *abort = fault(CopyFaultKind::AbortAfter);
        m_client = new TftpClient(m_device.scenario().address, server, m_device.scenario().tftpPort, m_fileName, this);
        connect(m_client, &TftpClient::finished, this, &FileCopy::transferred);
        m_clock.start();
        if (m_download) {
            m_client->download(abort ? abort->bytes : 0);
        } else {
            m_sent = m_device.configurationText();
            m_device.keep(QStringLiteral("sent-") + QFileInfo(m_fileName).fileName(), m_sent);
            m_client->upload(m_sent, abort ? abort->bytes : 0);
        }
        m_ticks.start();
        if (hasFault(CopyFaultKind::DropTelnet) && m_session)
            m_session->end();
    }

    void transferred(bool ok)
    {
        m_ticks.stop();
        if (!ok)
            return fail(QStringLiteral("failed"), {{QStringLiteral("error"), m_client->errorString()}});
        const QByteArray &bytes = m_download ? m_client->received() : m_sent;
        QJsonObject details{{QStringLiteral("bytes"), bytes.size()}};
        if (m_download) {
            // A switch checks an image before it takes it; a bad one leaves the slot as it was.
            if (!m_device.isImage(m_fileName, bytes)) {
                print("\r\n%COPY-E-IMAGE: " + m_fileName.toLatin1() + " is not a valid image file");
                return fail(QStringLiteral("bad-image"), details);
            }
            const int slot = m_device.inactiveSlot();
            m_device.storeImage(slot, m_fileName, bytes);
            details.insert(QStringLiteral("slot"), slot);
        }
        record(QStringLiteral("ok"), details);
        if (hasFault(CopyFaultKind::NeverEnds))
            return;
        const QByteArray unit = hasFault(CopyFaultKind::CapitalBytes) ? " Bytes" : " bytes";
        const QByteArray elapsed =
            QTime(0, 0).addMSecs(int(m_clock.elapsed())).toString(QStringLiteral("hh:mm:ss")).toLatin1();
        const QByteArray completion = "Copy: " + QByteArray::number(bytes.size()) + unit + " copied in " + elapsed + " [hh:mm:ss]";
        print("\r\n" + green(m_device.scenario(), completion) + "\r\n\r\n");
        finish();
    }

    void fail(const QString &result, const QJsonObject &details)
    {
        m_ticks.stop();
        print("\r\n" + m_device.scenario().copyFailureText.toLatin1() + "\r\n\r\n");
        record(result, details);
        finish();
    }

    void finish()
    {
        m_device.copyBusy = false;
        if (m_session)
            m_session->release();
        deleteLater();
    }

    QPointer<CliSession> m_session;
    Device &m_device;
    const bool m_download;
    const QByteArray m_server;
    const QString m_fileName;
    TftpClient *m_client = nullptr;
    QTimer m_ticks;
    QElapsedTimer m_clock;
    QByteArray m_sent;
};

void copy(CliSession &session, const QByteArray &arguments)
{
    const QList<QByteArray> words = arguments.simplified().split(' ');
    if (words.size() != 2)
        return refuse(session);
    const QByteArray &source = words[0];
    const QByteArray &destination = words[1];
    Device &device = session.device();
    if (abbreviates(source, "running-config") && abbreviates(destination, "startup-config")) {
        device.saveConfiguration();
        session.print(QByteArrayLiteral("%COPY-N-TRAP: The copy operation was completed successfully\r\n\r\n"));
        session.printPrompt();
        return;
    }
    const bool download = source.startsWith(kTftpScheme) && destination == "image";
    if (!download && !(abbreviates(source, "running-config") && destination.startsWith(kTftpScheme)))
        return refuse(session);
    const QByteArray url = (download ? source : destination).mid(kTftpScheme.size());
    const qsizetype slash = url.indexOf('/');
    if (slash <= 0 || slash == url.size() - 1)
        return refuse(session);
    const QByteArray server = url.left(slash);
    const QByteArray fileName = url.mid(slash + 1);

    if (device.copyBusy || findFault(device.scenario(), download, CopyFaultKind::Occupied)) {
        device.record(copyEvent(download, QString::fromLatin1(fileName), QString::fromLatin1(server), QStringLiteral("occupied")));
        session.print(QByteArrayLiteral("%COPY-W-BUSY: The copy engine is occupied by another user, try again later\r\n\r\n"));
        session.printPrompt();
        return;
    }
    new FileCopy(session, download, server, fileName);
}

} // namespace

void addCopyCommands(CommandTable &table)
{
    table.add(CliMode::Exec, QByteArrayLiteral("copy"), copy, CommandTable::Level::Privileged);
}
