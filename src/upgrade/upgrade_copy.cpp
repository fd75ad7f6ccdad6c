#include "upgrade/upgrade_copy.h"

#include "access/TelnetSync.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/Terminate.h"
#include "platform/WorkingFolder.h"
#include "tftp/ITftpHost.h"
#include "upgrade/upgrade_device.h"

#include <QFile>
#include <QSaveFile>

using Platform::MessageKind;

namespace {

const QString kStartAgainLater = QStringLiteral("Application will terminate , you may  start again later.");
const QString kTransferFailed = QStringLiteral("TFTP file transfer had failed.\n\rApplication will terminate.");

} // namespace

QString backupCommand(const QString &server)
{
    return QStringLiteral("copy  running-config tftp://%1/%2 \r").arg(server, kConfigUploadName);
}

QString downloadCommand(const QString &server, const QString &image)
{
    return QStringLiteral("copy tftp://%1/%2 image\n").arg(server, image);
}

bool answerContains(const QStringList &lines, const QString &text)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const QString &line) { return line.contains(text, Qt::CaseInsensitive); });
}

QString copyBackup(const QString &uploaded, const QString &target)
{
    QFile source(uploaded);
    if (!source.open(QIODevice::ReadOnly))
        return source.errorString();
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return source.errorString();
    QSaveFile copy(target);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size() || !copy.commit())
        return copy.errorString();
    return {};
}

bool TTelnetOperations::refusedCopy(bool backup)
{
    const QStringList &answer = Telnet->Received;
    if (answerContains(answer, kUnrecognizedCommand)) {
        Platform::showMessage(MessageKind::Warning,
                              QStringLiteral("Seems you are in user level 1 and not 15 \n\r") + kStartAgainLater);
        return true;
    }
    if (answerContains(answer, kOperationFailed)) {
        Platform::showMessage(MessageKind::Warning, QStringLiteral("Seems you chose the the wrong ip for the tftp server.\n\r")
                                                        + TftpServerAddress + QStringLiteral(" address does not seem to fit")
                                                        + QStringLiteral("\n\r") + kStartAgainLater);
        return true;
    }
    if (backup && answerContains(answer, kOccupied)) {
        abandon(QStringLiteral("Seems Copy is stuck (occupied by another user).\n\r") + TftpServerAddress
                + QStringLiteral(" seems to be OK , but the device is useing the \"copy\"\n\r") + kStartAgainLater);
    }
    return false;
}

void TTelnetOperations::startTransfer(const QString &command)
{
    // Both flags are set before the command goes out: a transfer that ends before the answer
    // is checked (a small file, a fast link) must still be seen, with its outcome.
    Telnet->ClearReceived();
    TftpHost->SetTransferDone(false);
    TftpHost->SetTransferOk(true);
    Telnet->SendLine(command);
}

void TTelnetOperations::waitForTransfer(const std::function<void()> &reportProgress)
{
    int pauses = 0;
    while (!TftpHost->TransferDone() && TftpHost->TransferOk() && pauses < kTransferWaitPauses) {
        Pause(1000);
        ++pauses;
        reportProgress();
    }
    // A transfer that never ended counts as failed. The connection is dropped, so that the
    // next pause ends the program.
    if (!TftpHost->TransferOk() || !TftpHost->TransferDone()) {
        Platform::showMessage(MessageKind::Warning, kTransferFailed);
        Telnet->SetConnected(false);
    }
}

void TTelnetOperations::waitForCompletion(const TProgressEvent &OnProgress)
{
    for (int pauses = 0;; ++pauses) {
        bool done = false;
        for (const QString &line : std::as_const(Telnet->Received)) {
            if (line.contains(kCopyCompleted)) {
                done = true;
                OnProgress(this, QStringLiteral("Copy Completed!!!!"));
            }
        }
        if (!done && pauses == kCompletionWaitPauses) {
            Platform::showMessage(MessageKind::Warning, kTransferFailed);
            Telnet->SetConnected(false);
        }
        Pause(1000);
        if (done)
            return;
    }
}

bool TTelnetOperations::BackupConfiguration(const TProgressEvent &OnProgress)
{
    const QString uploaded = WorkingFolder() + kConfigUploadName;
    // A copy left by an earlier run must never pass for this switch's configuration.
    if (QFile::exists(uploaded) && !QFile::remove(uploaded)) {
        Platform::showMessage(MessageKind::Warning, QStringLiteral("The file ") + uploaded
                                                        + QStringLiteral(" of an earlier run cannot be removed.\n\r")
                                                        + kStartAgainLater);
        return false;
    }
    OnProgress(this, QStringLiteral("saving configuration for later on ...."));
    startTransfer(backupCommand(TftpServerAddress));
    Pause(3000);
    if (refusedCopy(true))
        return false;

    Pause(1000);
    for (const QString &line : std::as_const(Telnet->Received))
        OnProgress(this, line);
    qsizetype seen = Telnet->Received.size();
    waitForTransfer([&] {
        const QStringList &received = Telnet->Received;
        for (qsizetype i = seen; i < received.size(); ++i)
            OnProgress(this, received[i]);
        seen = std::max(seen, received.size());
    });
    waitForCompletion(OnProgress);
    Telnet->ClearReceived();

    // The run changes the switch only once its configuration is safe on the PC.
    const QString failure = copyBackup(uploaded, ConfigFileName);
    if (!failure.isEmpty()) {
        Platform::showMessage(MessageKind::Warning, QStringLiteral("The configuration could not be saved to ") + ConfigFileName
                                                        + QStringLiteral(" (") + failure + QStringLiteral(").\n\r")
                                                        + kStartAgainLater);
        return false;
    }
    return true;
}

bool TTelnetOperations::DownloadImage(const TProgressEvent &OnProgress)
{
    OnProgress(this, QStringLiteral("Starting download image process...."));
    startTransfer(downloadCommand(TftpServerAddress, InterimImage));
    Pause(3000);
    if (refusedCopy(false)) {
        Platform::requestTerminate();
        return false;
    }
    // The switch's output grows a mark a second: the whole of it is shown at every pause.
    waitForTransfer([&] {
        for (const QString &line : std::as_const(Telnet->Received))
            OnProgress(this, line);
    });
    waitForCompletion(OnProgress);
    Telnet->ClearReceived();
    return true;
}
