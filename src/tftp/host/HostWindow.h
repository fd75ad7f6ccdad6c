#pragma once

#include "payload/ExeStrm.h"
#include "tftp/ITftpHost.h"
#include "tftp/TransferFiles.h"
#include "tftp/TrivialFTPServer.h"

#include <QPointer>
#include <QProgressBar>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TProgressStream;
class TfrmTransfer;

// The TFTP server's host, "Trivial FTP server": grants access only inside its root folder,
// supplies the transfers' streams, logs each request and finished transfer, counts the open
// transfers, shows a progress window per transfer and keeps the flags through which the
// upgrade procedure learns that a transfer ended and how. The form itself is never shown:
// its log moves onto the wizard's run pages and its progress windows into the main window.
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
    TTrivialFTPServer *TftpServer;
    // A bar on the current run page that mirrors each new transfer; not owned.
    QPointer<QProgressBar> ExternalProgressBar;

    // Where progress windows appear: the wizard's main window. Not owned.
    void SetTransferParent(QWidget *parent) { m_transferParent = parent; }
    const QList<TfrmTransfer *> &TransferWindows() const { return m_transferWindows; }

    bool TransferDone() const override { return m_transferDone; }
    bool TransferOk() const override { return m_transferOk; }
    void SetTransferDone(bool value) override { m_transferDone = value; }
    void SetTransferOk(bool value) override { m_transferOk = value; }
    bool HasAppendix() override;
    bool AppendixFileExists(const QString &name) override;
    std::unique_ptr<QIODevice> OpenAppendixFile(const QString &name) override;

private:
    void btnBrowseClick();
    void OnReadFile(QString &FileName, const TPeerInfo &PeerInfo, bool &GrantAccess, QIODevice *&AStream,
                    bool &FreeStreamOnComplete);
    void OnWriteFile(QString &FileName, const TPeerInfo &PeerInfo, bool &GrantAccess, QIODevice *&AStream,
                     bool &FreeStreamOnComplete);
    void OnTransferComplete(bool Success, const TPeerInfo &PeerInfo, QIODevice *AStream);
    // Grants or refuses one request and logs it; opening the stream may raise.
    void admit(bool writing, QString &FileName, const TPeerInfo &PeerInfo, bool &GrantAccess, QIODevice *&AStream,
               bool &FreeStreamOnComplete);
    void ShowTransferWindow(const QString &FileName, bool writing, TProgressStream *stream);
    void addCount(int delta);

    TEXEAppendixFileSystem m_appendix;
    TTransferFiles m_files;
    QList<TfrmTransfer *> m_transferWindows;
    QPointer<QWidget> m_transferParent;
    bool m_transferDone = false;
    bool m_transferOk = true;
};
