#include "wizard/Frame_IPAddress.h"

#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/Terminate.h"
#include "platform/TextLines.h"
#include "upgrade/upgrade_device.h"
#include "wizard/AddressCheck.h"
#include "wizard/Frame_Ftp.h"
#include "wizard/Frame_Top.h"
#include "wizard/SwitchInformation.h"
#include "wizard/WizardHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

using Platform::MessageAnswer;
using Platform::MessageButtons;
using Platform::MessageKind;

namespace {

bool isDeviceAddress(const QString &text)
{
    return IsValidAddress(text, u'.', 3, false, 255);
}

} // namespace

TFrameIPAddress::TFrameIPAddress(QWidget *parent)
    : QWidget(parent), FrameTop(new TFrameTop(this)), edUserName(new QLineEdit(this)), edPassword(new QLineEdit(this)),
      edIpAddress(new QLineEdit(this)), edConfFileName(new QLineEdit(Platform::defaultConfigFileName(), this)),
      btnBrowse(new QToolButton(this)), MemoInfo(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("FrameIPAddress"));
    FrameTop->lblTitle->setText(QStringLiteral("Step1 : General Parameters"));
    FrameTop->lblSubtitle->setText(QStringLiteral("Specify Username , password and  device IP ,configured on device"));

    const struct
    {
        QLineEdit *edit;
        const char16_t *name;
        const char16_t *labelName;
        const char16_t *label;
        const char16_t *hint;
    } fields[] = {
        {edUserName, u"edUserName", u"lblUserName", u"User Name", u"Eeter the usename of the device"},
        {edPassword, u"edPassword", u"lblPassword", u"Password", u"Eeter the password for the device"},
        {edIpAddress, u"edIpAddress", u"lblIpAddress", u"Device IP Address", u"Specify the IP of the device"},
        {edConfFileName, u"edConfFileName", u"lblConfFileName", u"Saved configuration", nullptr},
    };
    // The file name's browse button sits at the end of its field.
    auto *fileRow = new QHBoxLayout;
    fileRow->setSpacing(2);
    fileRow->addWidget(edConfFileName, 1);
    fileRow->addWidget(btnBrowse);
    auto *grid = new QGridLayout;
    grid->setContentsMargins(16, 6, 16, 2);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(3);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const auto &field : fields) {
        auto *label = new QLabel(QString::fromUtf16(field.label), this);
        label->setObjectName(QString::fromUtf16(field.labelName));
        label->setBuddy(field.edit);
        field.edit->setObjectName(QString::fromUtf16(field.name));
        field.edit->setAccessibleName(label->text());
        if (field.hint)
            field.edit->setToolTip(QString::fromUtf16(field.hint));
        grid->addWidget(label, row, 0);
        if (field.edit == edConfFileName)
            grid->addLayout(fileRow, row, 1);
        else
            grid->addWidget(field.edit, row, 1);
        ++row;
    }
    edPassword->setEchoMode(QLineEdit::Password);
    // Whatever the style would use, the password shows as asterisks.
    edPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->setText(QStringLiteral("..."));
    btnBrowse->setAccessibleName(QStringLiteral("Browse"));
    // The page hands the focus it is given to the first field to fill in.
    setFocusProxy(edUserName);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FrameTop);
    layout->addLayout(grid);
    auto *groupMargins = new QVBoxLayout;
    groupMargins->setContentsMargins(12, 0, 12, 4);
    groupMargins->addWidget(switchInformationGroup(MemoInfo, this));
    layout->addLayout(groupMargins, 1);

    connect(btnBrowse, &QToolButton::clicked, this, &TFrameIPAddress::btnBrowseClick);
    connect(edConfFileName, &QLineEdit::editingFinished, this, &TFrameIPAddress::edConfFileNameExit);
}

bool TFrameIPAddress::CanGoNext() const
{
    return !edUserName->text().isEmpty() && !edIpAddress->text().isEmpty() && isDeviceAddress(edIpAddress->text());
}

const QMetaObject *TFrameIPAddress::NextPageClass() const
{
    return &TFrameFTP::staticMetaObject;
}

bool TFrameIPAddress::NextClicked()
{
    TTelnetOperations *operations = mainForm()->Operations();
    operations->UserName = edUserName->text();
    operations->Password = edPassword->text();
    operations->DeviceAddress = edIpAddress->text();

    if (operations->UserName.isEmpty()) {
        Platform::showMessage(MessageKind::Plain, QStringLiteral("You should enter valid username and password"));
        return false;
    }
    if (operations->DeviceAddress.isEmpty() || !isDeviceAddress(operations->DeviceAddress)) {
        Platform::showMessage(MessageKind::Plain, QStringLiteral("You should enter valid ip address"));
        return false;
    }
    const QString path = edConfFileName->text();
    if (Platform::trimmedText(path).isEmpty()) {
        Platform::showMessage(MessageKind::Warning,
                              QStringLiteral("Please enter configuration file name (full path) to be saved on your computer."));
        return false;
    }
    const QString folder = Platform::folderPart(path);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        Platform::showMessage(MessageKind::Warning, QStringLiteral("Directory Does not Exists"));
        return false;
    }
    if (Platform::fileNamePart(path).isEmpty()) {
        Platform::showMessage(MessageKind::Warning, QStringLiteral("No file was entered."));
        return false;
    }
    if (QFileInfo(path).isFile()
        && Platform::dialogs().message(
               MessageKind::Information,
               QStringLiteral("File ") + path + QStringLiteral(" already exists do you want to override this file ?."),
               MessageButtons::YesNo)
            == MessageAnswer::No) {
        edConfFileName->setFocus();
        return false;
    }
    operations->SetConfigFileName(path);

    try {
        if (!operations->GatherInformation(
                [this](TTelnetOperations *sender, const QString &text) { AddProgressLine(sender, text); })) {
            Platform::showMessage(MessageKind::Warning,
                                  QStringLiteral("Show system returned an illegal value therefore utility should terminate."));
            throw Exception(QStringLiteral("Application will now terminate , please try again later"));
        }
    } catch (const std::exception &) {
        // The operator has been told; the wizard closes instead of moving on.
        InventoryFailed = true;
    }
    // The inventory shows its own fatal failures and asks the program to end without raising
    // past its trap: the wizard must close then too, not go on to a switch it cannot reach.
    if (Platform::terminateRequested())
        InventoryFailed = true;

    mainForm()->SaveLog();
    mainForm()->DeviceInfo() = Platform::textLines(MemoInfo->toPlainText());
    return true;
}

void TFrameIPAddress::AddProgressLine(TTelnetOperations *Sender, const QString &Text)
{
    // The TFTP page repeats this memo's lines; the log keeps what the switch sent.
    MemoInfo->appendPlainText(Platform::terminalDisplayText(Text));
    Sender->Log << QStringLiteral("Step1:") + Text;
}

void TFrameIPAddress::btnBrowseClick()
{
    const QString path = Platform::dialogs().openFileName(
        edConfFileName->text(), {QStringLiteral("all (*.*)"), QStringLiteral("text file extention (*.txt)"),
                                 QStringLiteral("conf file extention (*.conf)")});
    // The configuration is saved into the chosen folder, so it must be one that exists.
    if (!path.isEmpty() && QFileInfo(Platform::folderPart(path)).isDir())
        edConfFileName->setText(path);
}

void TFrameIPAddress::edConfFileNameExit()
{
    QDir::setCurrent(QCoreApplication::applicationDirPath());
}
