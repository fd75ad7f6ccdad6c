#pragma once

#include "tftp/ITftpHost.h"
#include "tftp/TftpHost.h"

#include <QPointer>
#include <QProgressBar>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TProgressStream;
class TfrmTransfer;

// The TFTP server's host window, "Trivial FTP server": a view of the TTftpHost it owns, with
// the root folder to edit, the host's log, its count of open transfers and a progress
// window per transfer. It answers for its host where an ITftpHost is wanted. The form itself
// is never shown: its log moves onto the wizard's run pages, and its progress windows are
// tool windows of the main window, beside it.
class TfrmMain final : public QWidget, public ITftpHost
{
    Q_OBJECT

public:
    // payloadFile is the executable whose appendix holds the firmware images.
    explicit TfrmMain(const QString &payloadFile, QWidget *parent = nullptr);
    ~TfrmMain() override;

    QLineEdit *edtRootDir;
    QPushButton *btnBrowse;
    QLabel *lblCount;
    QPlainTextEdit *memLog;
    // The host's server.
    TTrivialFTPServer *TftpServer;
    // A bar on the current run page that mirrors each new transfer; not owned.
    QPointer<QProgressBar> ExternalProgressBar;

    // The window that owns the progress windows, the wizard's main window: they stay above it
    // and beside its frame, where they cover none of its text, and follow it when it moves.
    // Not owned.
    void SetTransferParent(QWidget *parent);
    const QList<TfrmTransfer *> &TransferWindows() const { return m_transferWindows; }

    TTftpHost &Host() { return *m_host; }

    bool TransferDone() const override { return m_host->TransferDone(); }
    bool TransferOk() const override { return m_host->TransferOk(); }
    void SetTransferDone(bool value) override { m_host->SetTransferDone(value); }
    void SetTransferOk(bool value) override { m_host->SetTransferOk(value); }
    quint64 ExpectTransfer(const QString &peerAddress, const QString &name, bool writing) override
    {
        return m_host->ExpectTransfer(peerAddress, name, writing);
    }
    std::optional<TTransferRecord> ExpectedTransfer(quint64 ticket) const override
    {
        return m_host->ExpectedTransfer(ticket);
    }
    void ForgetExpectedTransfer(quint64 ticket) override { m_host->ForgetExpectedTransfer(ticket); }
    QList<TTransferRecord> TransfersOf(const QString &peerAddress) const override
    {
        return m_host->TransfersOf(peerAddress);
    }
    bool HasAppendix() override { return m_host->HasAppendix(); }
    bool AppendixFileExists(const QString &name) override { return m_host->AppendixFileExists(name); }
    std::unique_ptr<QIODevice> OpenAppendixFile(const QString &name) override
    {
        return m_host->OpenAppendixFile(name);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void btnBrowseClick();
    void ShowTransferWindow(const TTransferRecord &record, TProgressStream *stream);
    void placeTransferWindow(TfrmTransfer *window, int index) const;
    void closeTransferWindows(const TProgressStream *stream);

    std::unique_ptr<TTftpHost> m_host;
    QList<TfrmTransfer *> m_transferWindows;
    QPointer<QWidget> m_transferParent;
};
