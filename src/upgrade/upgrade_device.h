#pragma once

#include "platform/Dialogs.h"
#include "tftp/TransferRecord.h"
#include "upgrade/IniFile.h"
#include "upgrade/ShowParsers.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

class ITftpHost;
class TTelnet;
class TTelnetOperations;

// Poll budget of every command sent while waiting for the prompt: about ten seconds.
inline constexpr int kPromptPolls = 100;
// The message of the error that unwinds the running operation after a fatal failure, once the
// operator has been told and the end of the program requested.
inline const QString kShouldTerminate = QStringLiteral("Application shoud terminate");

// The progress callback of every long operation: the calling page shows the text and adds
// it, with the page's own prefix, to the run log.
using TProgressEvent = std::function<void(TTelnetOperations *Sender, const QString &Text)>;
// A message for the operator, shown as its owner shows them.
using TMessageEvent = std::function<void(Platform::MessageKind Kind, const QString &Text)>;

// The one object that knows the switch's command-line dialogue: it logs in, reads the
// device's identity, has the device copy files over TFTP, changes settings, switches the
// boot image and resets the device. Pages fill its parameters and read its findings.
class TTelnetOperations final : public QObject
{
    Q_OBJECT

public:
    explicit TTelnetOperations(QObject *owner = nullptr);
    ~TTelnetOperations() override;

    QString DeviceAddress;
    QString TftpServerAddress;
    QString UserName;
    QString Password;
    TTelnet *Telnet;
    // The PC's own address on the telnet connection, refreshed at every log-in.
    QString LocalAddress;
    // " unit " and the master's number on a stack; appended to the show commands.
    QString StackUnit;
    QStringList Log;
    int ImageAfterReset = 0;
    int ActiveImage = 0;
    QString InterimImage;
    // The image table, "private.ini" in the working folder.
    TIniFile ImageTable;
    QString ConfigFileName;
    QString CurrentVersion;
    bool IsStack = false;
    int StackUnitCount = 0;
    bool DhcpAfterReset = false;
    QString FinalImage;
    // Set once the first device reset of the run has begun; never cleared.
    bool ResetStarted = false;
    QString FinalVersion;
    // The TFTP server host: the switch's transfers and the payload's images. Not owned.
    ITftpHost *TftpHost = nullptr;
    // What "show system" reported at the last inventory.
    TShowSystem SystemInfo;
    // Each unit's version as a stack's "show version " listed them; empty on a standalone
    // switch.
    QList<TUnitVersion> UnitVersions;

    // Where the operator's messages go: modal boxes, unless the owner of a run shows them its
    // own way.
    TMessageEvent OnMessage;
    // Called once, when a failure ends the procedure's work: in the wizard that ends the
    // program. From then on nothing more is sent to the switch.
    std::function<void()> OnEndRequested;
    // The switch's transfer while the procedure waits for it, once a second.
    std::function<void(const TTransferRecord &Transfer)> OnTransferProgress;
    // A pause long enough to be worth a countdown is about to begin.
    std::function<void(int Ms)> OnLongPause;

    bool EndRequested() const { return m_endRequested; }
    void RequestEnd();

    bool Login();
    // Waits while pumping events; a connection found closed afterwards ends the program,
    // unless a loss is expected (before the first log-in, during a reset).
    void Pause(int ms);
    void Trace(const QString &text, const QString &detail);
    void SetConfigFileName(const QString &path) { ConfigFileName = path; }
    void SetDhcpAfterReset(bool flag) { DhcpAfterReset = flag; }
    void Disconnect();

    void ShowStack();
    // Logs in and takes the device's inventory; false only when "show system" answers too
    // little. Fatal failures are shown here and end the program.
    bool GatherInformation(const TProgressEvent &OnProgress);

    // The switch uploads its running configuration to the TFTP server, which is then copied
    // to ConfigFileName; false after a reported failure, and then nothing on the switch has
    // changed.
    bool BackupConfiguration(const TProgressEvent &OnProgress);
    // The switch fetches the intermediate image into its inactive slot; false after a
    // reported failure, when the program is already asked to end.
    bool DownloadImage(const TProgressEvent &OnProgress);

    void EnableSnmpAccess(const TProgressEvent &OnProgress);
    // Writes the stack's unit count (and "," for DHCP after the reset) into sysContact.
    void SaveUnitCount(const TProgressEvent &OnProgress);
    // Writes the PC's address into sysLocation, keeps addresses learned by DHCP as fixed
    // settings and saves the configuration.
    void SaveIPAndLocation(const TProgressEvent &OnProgress);
    void KeepIPSettings(const TProgressEvent &OnProgress);
    // Selects the slot that does not run now for the next boot.
    void SwitchToOtherImage(const TProgressEvent &OnProgress);
    // Connected within about N one-second pauses.
    bool WaitForDevice(int N);
    // Reloads the switch, waits, reconnects and takes its inventory anew.
    void ResetDevice(const TProgressEvent &OnProgress);

private:
    // Whether the switch refused a copy command; the refusals that end the program at once
    // (another copy running) raise.
    bool refusedCopy(bool backup);
    // Sends the copy command that makes the switch transfer file; returns the host's ticket
    // for that transfer.
    quint64 startTransfer(const QString &command, const QString &file, bool writing);
    enum class CopyWait { Ended, Refused };
    // Waits for the ticket's transfer to end, calling reportProgress after each pause; ends
    // early, Refused, when the switch refuses the copy (reported as the command's answer is).
    // A transfer that fails or does not end in time is reported, and the connection dropped so
    // that the next pause ends the program. transfer is the switch's, as it ended, if it began.
    CopyWait waitForTransfer(quint64 ticket, bool backup, const std::function<void()> &reportProgress,
                             std::optional<TTransferRecord> &transfer);
    // Waits for the switch's completion line, or its refusal.
    CopyWait waitForCompletion(bool backup, const TProgressEvent &OnProgress);
    void sendAsTheSwitchGoesDown(const QString &text);
    // Shows the warning, drops the connection, asks the program to end and raises.
    [[noreturn]] void abandon(const QString &warning);
    void tell(Platform::MessageKind kind, const QString &text);

    bool m_endRequested = false;
};
