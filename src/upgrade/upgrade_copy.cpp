#include "upgrade/upgrade_copy.h"

#include "access/TelnetSync.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/Terminate.h"
#include "platform/WorkingFolder.h"
#include "platform/Events.h"
#include "tftp/ITftpHost.h"
#include "upgrade/upgrade_device.h"

#include <QFile>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

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
    return saveBackup(bytes, target);
}

QString saveBackup(const QByteArray &bytes, const QString &target)
{
    QSaveFile copy(target);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size() || !copy.commit())
        return copy.errorString();
    return {};
}

bool TTelnetOperations::refusedCopy(bool backup)
{
    const QStringList &answer = Telnet->Received;
    if (answerContains(answer, kUnrecognizedCommand)) {
        tell(MessageKind::Warning, QStringLiteral("Seems you are in user level 1 and not 15 \n\r") + kStartAgainLater);
        return true;
    }
    if (answerContains(answer, kOperationFailed)) {
        tell(MessageKind::Warning, QStringLiteral("Seems you chose the the wrong ip for the tftp server.\n\r")
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

quint64 TTelnetOperations::startTransfer(const QString &command, const QString &file, bool writing)
{
    // Both flags and the ticket are set before the command goes out: a transfer that ends
    // before the answer is checked (a small file, a fast link) must still be seen, with its
    // outcome.
    Telnet->ClearReceived();
    TftpHost->SetTransferDone(false);
    TftpHost->SetTransferOk(true);
    const quint64 ticket = TftpHost->ExpectTransfer(DeviceAddress, file, writing);
    Telnet->SendLine(command);
    return ticket;
}

TTelnetOperations::CopyWait TTelnetOperations::waitForTransfer(quint64 ticket, bool backup,
                                                               const std::function<void()> &reportProgress,
                                                               std::optional<TTransferRecord> &transfer)
{
    // Only the switch's own transfer of the file its command named ends the wait: another
    // client of the PC's server (a second device, a boot loader, a stale retry) is served and
    // logged by the host and changes nothing here. The switch may refuse the copy at any time
    // (its TFTP client gives up after its own time-out): that ends the wait too.
    transfer = TftpHost->ExpectedTransfer(ticket);
    for (int pauses = 0; !(transfer && transfer->ended()) && pauses < kTransferWaitPauses; ++pauses) {
        Pause(1000);
        reportProgress();
        transfer = TftpHost->ExpectedTransfer(ticket);
        if (transfer)
            Platform::emitIfSet(OnTransferProgress, *transfer);
        // Once the switch's transfer has begun, a failure it prints is that transfer's, told
        // as a failed transfer; the server may notice the silence of a client that broke off
        // only after its own time-out.
        if (transfer) {
            if (!transfer->ended() && answerContains(Telnet->Received, kOperationFailed))
                break;
        } else if (refusedCopy(backup)) {
            TftpHost->ForgetExpectedTransfer(ticket);
            return CopyWait::Refused;
        }
    }
    TftpHost->ForgetExpectedTransfer(ticket);
    // A transfer that never ended counts as failed. The connection is dropped, so that the
    // next pause ends the program.
    if (!transfer || transfer->Status != TTransferRecord::State::Completed) {
        tell(MessageKind::Warning, kTransferFailed);
        Telnet->SetConnected(false);
    }
    return CopyWait::Ended;
}

TTelnetOperations::CopyWait TTelnetOperations::waitForCompletion(bool backup, const TProgressEvent &OnProgress)
{
    for (int pauses = 0;; ++pauses) {
        bool done = false;
        for (const QString &line : std::as_const(Telnet->Received)) {
            if (line.contains(kCopyCompleted)) {
                done = true;
                OnProgress(this, QStringLiteral("Copy Completed!!!!"));
            }
        }
        // Once a failed transfer has dropped the connection, the failure is told already.
        if (!done && Telnet->Connected() && refusedCopy(backup))
            return CopyWait::Refused;
        if (!done && pauses == kCompletionWaitPauses) {
            tell(MessageKind::Warning, kTransferFailed);
            Telnet->SetConnected(false);
        }
        Pause(1000);
        if (done)
            return CopyWait::Ended;
    }
}

bool TTelnetOperations::BackupConfiguration(const TProgressEvent &OnProgress)
{
    const QString uploaded = WorkingFolder() + kConfigUploadName;
    // A copy left by an earlier run must never pass for this switch's configuration. Another
    // switch's run in the same process may have removed it a moment ago, or land its own
    // upload there at any moment: a file that is gone already is no fault, only one that
    // cannot be removed is.
    std::error_code removal;
    std::filesystem::remove(QFile::encodeName(uploaded).toStdString(), removal);
    if (removal) {
        tell(MessageKind::Warning, QStringLiteral("The file ") + uploaded
                                       + QStringLiteral(" of an earlier run cannot be removed.\n\r") + kStartAgainLater);
        return false;
    }
    OnProgress(this, QStringLiteral("saving configuration for later on ...."));
    const quint64 ticket = startTransfer(backupCommand(TftpServerAddress), kConfigUploadName, true);
    Pause(3000);
    if (refusedCopy(true)) {
        TftpHost->ForgetExpectedTransfer(ticket);
        return false;
    }

    Pause(1000);
    for (const QString &line : std::as_const(Telnet->Received))
        OnProgress(this, line);
    qsizetype seen = Telnet->Received.size();
    std::optional<TTransferRecord> upload;
    const auto reportNewLines = [&] {
        const QStringList &received = Telnet->Received;
        for (qsizetype i = seen; i < received.size(); ++i)
            OnProgress(this, received[i]);
        seen = std::max(seen, received.size());
    };
    if (waitForTransfer(ticket, true, reportNewLines, upload) == CopyWait::Refused
        || waitForCompletion(true, OnProgress) == CopyWait::Refused)
        return false;
    Telnet->ClearReceived();

    // The run changes the switch only once its configuration is safe on the PC. The bytes are
    // the switch's own upload: the file of that name may already hold another peer's.
    const QString failure = saveBackup(upload ? upload->Received : QByteArray(), ConfigFileName);
    if (!failure.isEmpty()) {
        tell(MessageKind::Warning, QStringLiteral("The configuration could not be saved to ") + ConfigFileName
                                       + QStringLiteral(" (") + failure + QStringLiteral(").\n\r") + kStartAgainLater);
        return false;
    }
    return true;
}

bool TTelnetOperations::DownloadImage(const TProgressEvent &OnProgress)
{
    OnProgress(this, QStringLiteral("Starting download image process...."));
    const quint64 ticket = startTransfer(downloadCommand(TftpServerAddress, InterimImage), InterimImage, false);
    Pause(3000);
    if (refusedCopy(false)) {
        TftpHost->ForgetExpectedTransfer(ticket);
        RequestEnd();
        return false;
    }
    // The switch's output grows a mark a second: the whole of it is shown at every pause.
    const auto reportAllLines = [&] {
        for (const QString &line : std::as_const(Telnet->Received))
            OnProgress(this, line);
    };
    std::optional<TTransferRecord> download;
    if (waitForTransfer(ticket, false, reportAllLines, download) == CopyWait::Refused
        || waitForCompletion(false, OnProgress) == CopyWait::Refused) {
        RequestEnd();
        return false;
    }
    Telnet->ClearReceived();
    return true;
}
