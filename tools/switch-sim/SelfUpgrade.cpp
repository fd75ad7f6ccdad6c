#include "SelfUpgrade.h"

#include "Device.h"
#include "TftpClient.h"

#include <QRegularExpression>

namespace {

const QString kLastStep = QStringLiteral("Upgrade complete: last step, the switch resets when acknowledged");

// A stack of two units or more copies the image to every unit, in eight more steps.
QStringList stepTexts(const QString &image, bool stack)
{
    QStringList texts{QStringLiteral("Final image %1 received").arg(image), QStringLiteral("Checking the final image"),
                      QStringLiteral("Erasing the image area"), QStringLiteral("Writing the final image"),
                      QStringLiteral("Verifying the written image")};
    if (stack) {
        for (int part = 1; part <= 8; ++part)
            texts << QStringLiteral("Copying the final image to the stack units (%1 of 8)").arg(part);
    }
    texts << QStringLiteral("Selecting the final image for boot") << QStringLiteral("Restoring the configuration");
    for (qsizetype i = 0; i < texts.size(); ++i)
        texts[i] = QStringLiteral("Step %1: %2").arg(i + 1).arg(texts[i]);
    return texts;
}

} // namespace

SelfUpgrade::SelfUpgrade(Device &device, QObject *parent) : QObject(parent), m_device(device)
{
    m_timer.setInterval(device.scenario().stepInterval);
    connect(&m_timer, &QTimer::timeout, this, &SelfUpgrade::report);
    connect(&device, &Device::runningConfigurationChanged, this, &SelfUpgrade::tryStart);
    connect(&device, &Device::contactWrittenBySnmp, this, &SelfUpgrade::acknowledged);
    connect(&device, &Device::contactReadBySnmp, this, &SelfUpgrade::contactRead);
    tryStart();
}

void SelfUpgrade::tryStart()
{
    if (m_state != State::WaitingForParameters || m_device.scenario().selfUpgradeFault == SelfUpgradeFault::NeverReports)
        return;
    const Configuration &configuration = m_device.running();
    static const QRegularExpression unitCount(QStringLiteral("^(\\d+)(,?)$"));
    const QRegularExpressionMatch parameters = unitCount.match(QString::fromLatin1(configuration.contact));
    if (m_device.communityAccess("vemtal").isEmpty() || !parameters.hasMatch() || configuration.location.isEmpty())
        return;

    m_state = State::Fetching;
    const int units = parameters.captured(1).toInt();
    m_server = QString::fromLatin1(configuration.location);
    m_steps = stepTexts(m_device.scenario().finalImage, m_device.scenario().isStack() && units >= 2);
    m_device.record({{QStringLiteral("event"), QStringLiteral("self-upgrade")},
                     {QStringLiteral("units"), units},
                     {QStringLiteral("dhcp"), !parameters.captured(2).isEmpty()},
                     {QStringLiteral("server"), m_server}});
    // As every copy of the switch, it contacts nothing outside the loopback network.
    const QHostAddress server(m_server);
    if (server.protocol() != QAbstractSocket::IPv4Protocol || !server.isLoopback())
        return fetched(false);
    m_client = new TftpClient(m_device.scenario().address, server, m_device.scenario().tftpPort,
                              m_device.scenario().finalImage, this);
    connect(m_client, &TftpClient::finished, this, &SelfUpgrade::fetched);
    m_client->download();
}

void SelfUpgrade::fetched(bool ok)
{
    const QString image = m_device.scenario().finalImage;
    if (!ok)
        return stop(QStringLiteral("Step 1: Could not fetch %1 from %2, upgrade stopped").arg(image, m_server));
    const QByteArray &bytes = m_client->received();
    if (!m_device.isImage(image, bytes))
        return stop(QStringLiteral("Step 1: %1 is not a valid image, upgrade stopped").arg(image));
    const int slot = m_device.activeSlot();
    if (m_device.scenario().selfUpgradeFault != SelfUpgradeFault::FinalNotWritten)
        m_device.storeImage(slot, image, bytes);
    m_device.record({{QStringLiteral("event"), QStringLiteral("copy")},
                     {QStringLiteral("direction"), QStringLiteral("download")},
                     {QStringLiteral("file"), image},
                     {QStringLiteral("server"), m_server},
                     {QStringLiteral("result"), QStringLiteral("ok")},
                     {QStringLiteral("bytes"), bytes.size()},
                     {QStringLiteral("slot"), slot}});
    m_state = State::Reporting;
    if (m_device.scenario().stepReads == 0)
        m_timer.start();
}

void SelfUpgrade::contactRead()
{
    const int reads = m_device.scenario().stepReads;
    if (m_state != State::Reporting || reads == 0 || ++m_readsOfThisReport < reads)
        return;
    m_readsOfThisReport = 0;
    report();
}

void SelfUpgrade::report()
{
    const Scenario &scenario = m_device.scenario();
    if (scenario.selfUpgradeFault == SelfUpgradeFault::StopsAfter && m_reported >= scenario.selfUpgradeStopStep) {
        m_timer.stop();
        m_state = State::Stopped;
    } else if (scenario.selfUpgradeFault == SelfUpgradeFault::Flickers && m_reported >= scenario.selfUpgradeStopStep) {
        // The same step, told two ways by turns: the text changes at every report, the
        // upgrade never moves on.
        const QString step = m_steps[m_reported - 1];
        const bool again = QString::fromLatin1(m_device.running().contact) == step;
        setContact(again ? step + QStringLiteral(" (still busy)") : step);
    } else if (m_reported < m_steps.size()) {
        setContact(m_steps[m_reported++]);
    } else {
        m_timer.stop();
        m_state = State::WaitingForAcknowledgement;
        setContact(kLastStep);
    }
}

void SelfUpgrade::stop(const QString &text)
{
    m_state = State::Stopped;
    setContact(text);
}

void SelfUpgrade::setContact(const QString &text)
{
    m_device.running().contact = text.toLatin1();
    m_device.record({{QStringLiteral("event"), QStringLiteral("step")}, {QStringLiteral("text"), text}});
    m_device.configurationChanged();
}

void SelfUpgrade::acknowledged()
{
    if (m_state != State::WaitingForAcknowledgement || !m_device.running().contact.isEmpty())
        return;
    m_state = State::Stopped;
    m_device.record({{QStringLiteral("event"), QStringLiteral("acknowledged")}});
    m_device.requestReset(QStringLiteral("self-upgrade"));
}
