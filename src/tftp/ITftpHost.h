#pragma once

#include <QIODevice>
#include <QString>

#include <memory>

// What the upgrade procedure needs of the TFTP server host: the two flags through which it
// waits for a transfer and learns its outcome, and the payload carried by the program's own
// executable, from which it extracts the firmware images the switch will fetch.
class ITftpHost
{
public:
    virtual ~ITftpHost() = default;

    // A transfer has completed since the flag was last cleared.
    virtual bool TransferDone() const = 0;
    // Whether the last completed transfer succeeded.
    virtual bool TransferOk() const = 0;
    virtual void SetTransferDone(bool value) = 0;
    virtual void SetTransferOk(bool value) = 0;

    virtual bool HasAppendix() = 0;
    virtual bool AppendixFileExists(const QString &name) = 0;
    // The named payload file in memory, or nullptr.
    virtual std::unique_ptr<QIODevice> OpenAppendixFile(const QString &name) = 0;
};
