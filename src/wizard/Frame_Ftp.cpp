#include "wizard/Frame_Ftp.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/PortHolder.h"
#include "platform/SocketErrors.h"
#include "run/UpgradeRun.h"
#include "tftp/TrivialFTPBase.h"
#include "tftp/host/HostWindow.h"
#include "upgrade/upgrade_device.h"
#include "wizard/Frame_Finish.h"
#include "wizard/Frame_Working.h"
#include "wizard/RunView.h"
#include "wizard/SwitchInformation.h"
#include "wizard/WizardHost.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHostInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TServerAddresses serverAddresses(const QStringList &hostAddresses, const QString &localAddress)
{
    TServerAddresses result{hostAddresses, hostAddresses.isEmpty() ? -1 : 0};
    if (localAddress.isEmpty())
        return result;
    result.Selected = int(result.Items.indexOf(localAddress));
    if (result.Selected < 0) {
        result.Items << localAddress;
        result.Selected = int(result.Items.size()) - 1;
    }
    return result;
}

namespace {

constexpr quint16 kTftpPort = 69;

// The user may not bind ports below 1024, and nothing on this page can change that.
QString portNotPermittedText()
{
    return QStringLiteral("The wizard may not open UDP port 69, which the switch's TFTP requests come to: it needs root, "
                          "or the capability to bind low ports.\n\rGrant it with\n\r"
                          "sudo setcap cap_net_bind_service=+ep %1\n\rthen start the wizard again.")
        .arg(QCoreApplication::applicationFilePath());
}

// Why the TFTP server could not start, when the port is not held by another program.
QString serverStartFailureText(const std::exception &error)
{
    const auto *socketError = dynamic_cast<const EUDPSocketError *>(&error);
    if (socketError && socketError->code() == Platform::WsaAccessDenied)
        return portNotPermittedText();
    return QStringLiteral("The TFTP server could not start on UDP port 69:\n\r") + QString::fromLocal8Bit(error.what());
}

} // namespace

TFrameFTP::TFrameFTP(QWidget *parent)
    : QWidget(parent), MemoInfo(new QPlainTextEdit(this)), cbFtp(new QComboBox(this)),
      lblIpAfterReset(new QLabel(QStringLiteral("IP Address after reset "), this)), ComboBox1(new QComboBox(this)),
      lblPortHolder(new QLabel(this))
{
    setObjectName(QStringLiteral("FrameFTP"));

    cbFtp->setObjectName(QStringLiteral("cbFtp"));
    cbFtp->setEnabled(false);
    cbFtp->hide();

    lblIpAfterReset->setObjectName(QStringLiteral("lblIpAfterReset"));
    lblIpAfterReset->setBuddy(ComboBox1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setAccessibleName(lblIpAfterReset->text());
    ComboBox1->addItems({QStringLiteral("Default IP"), QStringLiteral("DHCP")});
    ComboBox1->setCurrentIndex(-1);
    // The page hands the focus it is given to the one choice it asks for.
    setFocusProxy(ComboBox1);
    lblPortHolder->setObjectName(QStringLiteral("lblPortHolder"));
    lblPortHolder->setWordWrap(true);
    lblPortHolder->hide();

    auto *choice = new QHBoxLayout;
    choice->addWidget(lblIpAfterReset);
    choice->addWidget(ComboBox1);
    choice->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 8);
    layout->setSpacing(8);
    layout->addWidget(switchInformationGroup(MemoInfo, this), 1);
    layout->addLayout(choice);
    layout->addWidget(lblPortHolder);
}

bool TFrameFTP::CanGoNext() const
{
    return ComboBox1->currentIndex() >= 0;
}

const QMetaObject *TFrameFTP::NextPageClass() const
{
    const TTelnetOperations *operations = mainForm()->Operations();
    if (operations->FinalVersion != operations->CurrentVersion)
        return &TFrameWorking::staticMetaObject;
    return &TFrameFinish::staticMetaObject;
}

void TFrameFTP::PageEntered()
{
    const TServerAddresses addresses =
        serverAddresses(LocalIP().split(u',', Qt::SkipEmptyParts), mainForm()->Operations()->LocalAddress);
    cbFtp->clear();
    cbFtp->addItems(addresses.Items);
    cbFtp->setCurrentIndex(addresses.Selected);

    // The device page's first line (the connection attempt) and third are not repeated here.
    QStringList lines = mainForm()->DeviceInfo();
    for (int index : {0, 1}) {
        if (index < lines.size())
            lines.removeAt(index);
    }
    MemoInfo->setPlainText(lines.join(u'\n'));
}

bool TFrameFTP::NextClicked()
{
    TTelnetOperations *operations = mainForm()->Operations();
    operations->TftpServerAddress = cbFtp->currentText();
    operations->SetDhcpAfterReset(ComboBox1->currentText() == QStringLiteral("DHCP"));
    lblPortHolder->hide();
    try {
        mainForm()->TftpHost()->TftpServer->SetActive(true);
    } catch (const ECouldNotBindSocket &) {
        showPortHolder();
        Platform::showMessage(Platform::MessageKind::Warning,
                              QStringLiteral("A TFTP server is currently running (port 69 is occupied)\n\r"
                                             "Please close the TFTP Server and press Next again."));
        return false;
    } catch (const std::exception &error) {
        Platform::showMessage(Platform::MessageKind::Warning, serverStartFailureText(error));
        return false;
    }
    MemoInfo->clear();
    // A pause while the server comes up, before the run talks to the switch; it dispatches
    // nothing meanwhile.
    Platform::sleep(2000);
    if (NextPageClass() == &TFrameFinish::staticMetaObject) {
        // Nothing to do on the switch; the run still leaves its record of what it found.
        TUpgradeRun upgrade(*operations, *mainForm()->TftpHost());
        prepareWizardRun(upgrade);
        upgrade.Run();
        mainForm()->SetRunRecord(upgrade.Record());
    }
    return true;
}

void TFrameFTP::showPortHolder()
{
    // Shown before the warning, so that it is on the page behind it.
    if (const std::optional<Platform::PortHolder> holder = Platform::udpPortHolder(kTftpPort)) {
        lblPortHolder->setText(QStringLiteral("Port 69 is held by %1 (pid %2).").arg(holder->program).arg(holder->pid));
        lblPortHolder->show();
    }
}

QString TFrameFTP::LocalIP()
{
    QStringList addresses;
    for (const QHostAddress &address : QHostInfo::fromName(QHostInfo::localHostName()).addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            addresses << address.toString();
    }
    return addresses.join(u',');
}
