#pragma once

#include "tftp/TransferRecord.h"

#include <QIODevice>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

// What the upgrade procedure needs of the TFTP server host: the switch's own transfers, each
// followed from its request to its end, and the payload carried by the program's own
// executable, from which it extracts the firmware images the switch will fetch.
class ITftpHost
{
public:
    virtual ~ITftpHost() = default;

    // A transfer has completed since the flag was last cleared, whoever made it.
    virtual bool TransferDone() const = 0;
    // Whether the last completed transfer succeeded.
    virtual bool TransferOk() const = 0;
    virtual void SetTransferDone(bool value) = 0;
    virtual void SetTransferOk(bool value) = 0;

    // Announces the transfer a copy command is about to cause: the next one that peerAddress
    // asks for, of name (relative to the root, as the command names it), in that direction.
    // Every other transfer is still served and logged, and is none of the ticket's business.
    // A host that follows no transfers hands out 0, which never names one.
    virtual quint64 ExpectTransfer(const QString &peerAddress, const QString &name, bool writing)
    {
        Q_UNUSED(peerAddress)
        Q_UNUSED(name)
        Q_UNUSED(writing)
        return 0;
    }
    // The expected transfer as far as it has come; none while the peer has not asked for it.
    virtual std::optional<TTransferRecord> ExpectedTransfer(quint64 ticket) const
    {
        Q_UNUSED(ticket)
        return std::nullopt;
    }
    // The ticket's transfer is of no more interest; its record stays among TransfersOf.
    virtual void ForgetExpectedTransfer(quint64 ticket) { Q_UNUSED(ticket) }
    // Every transfer granted to peerAddress since the host was made, in order, as far back as
    // the host keeps them: a host bounds its journal, dropping the oldest ended transfers.
    virtual QList<TTransferRecord> TransfersOf(const QString &peerAddress) const
    {
        Q_UNUSED(peerAddress)
        return {};
    }

    virtual bool HasAppendix() = 0;
    virtual bool AppendixFileExists(const QString &name) = 0;
    // The named payload file in memory, or nullptr.
    virtual std::unique_ptr<QIODevice> OpenAppendixFile(const QString &name) = 0;
};
