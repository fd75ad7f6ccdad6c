#pragma once

#include "app/files/WizardFiles.h"
#include "wizard/WizardHost.h"

#include <QDialog>
#include <QList>

#include <memory>

class IWizardFrame;
class QAction;
class QPushButton;
class TEXEAppendixFileSystem;
class TOKHelpBottomDlg;

// The wizard's main window, "Tessaro": one page at a time above a button bar. It owns the
// program's single TTelnetOperations, unpacks the payload into the working folder at
// start-up, keeps the run log on disk, and asks before the wizard is left unfinished.
// The pages are driven only through IWizardFrame.
class TMainForm final : public QDialog, public IWizardHost
{
    Q_OBJECT

public:
    // payloadFile: the executable whose appendix carries the image table and the help
    // documents, the program itself. A full path, so the current folder does not matter.
    explicit TMainForm(const QString &payloadFile, QWidget *parent = nullptr);
    ~TMainForm() override;
    Q_DISABLE_COPY_MOVE(TMainForm)

    static constexpr int kClientWidth = 504;
    static constexpr int kClientHeight = 362;

    QWidget *pnlPages;
    QPushButton *btnHelp;
    QPushButton *btnBack;
    QPushButton *btnNext;
    QPushButton *btnCancel;
    QAction *ActionNext;
    QAction *ActionBack;
    QAction *ActionHelp;

    TTelnetOperations *Operations() const override { return m_operations; }
    QStringList &DeviceInfo() override { return m_deviceInfo; }
    TfrmMain *TftpHost() const override { return m_tftpHost; }
    void ShowPageOfClass(const QMetaObject *pageClass) override;
    QWidget *CurrentPage() const override { return m_currentPage; }
    void SaveLog() override;
    QString LogPath() const override;
    const TRunRecord *RunRecord() const override { return m_runRecord.get(); }
    void SetRunRecord(const TRunRecord &record) override;
    void hideCancel() override;

    // The TFTP server host and the help dialog are made after the main window.
    void SetTftpHost(TfrmMain *host);
    // The working folder exists but is not this user's own: the operator has been told, and
    // the wizard must not start, since everything it writes and serves goes there.
    bool WorkingFolderRefused() const { return m_workingFolderRefused; }
    void SetHelpDialog(TOKHelpBottomDlg *dialog) { m_helpDialog = dialog; }

    // Makes an existing page current and enters it. When that fails, the page that was
    // current before is entered again and the error goes on to the caller.
    void ShowPage(QWidget *page);
    QWidget *FindPage(const QMetaObject *pageClass) const;
    const QMetaObject *CurrentPageClass() const;
    IWizardFrame *CurrentFrame() const { return m_currentFrame; }
    const QList<QWidget *> &Pages() const { return m_pages; }
    // The pages that Next has left, the last one on top.
    const QList<QWidget *> &History() const { return m_history; }
    // True while a Next action is carried out, which may be a whole upgrade run.
    bool WizardBusy() const { return m_wizardBusy; }

    // Sets Next and Back at once, without waiting for the idle-time updates.
    void UpdateButtons();
    void ActionNextExecute();
    void ActionBackExecute();
    void ActionHelpExecute();
    void ActionNextUpdate();
    void ActionBackUpdate();
    void btnCancelClick();

protected:
    void closeEvent(QCloseEvent *event) override;
    // Esc works like Cancel, and only while Cancel is offered.
    void reject() override;

private:
    void buildLayout();
    void bindActions();
    void createWorkingFolder();
    void ExtractPayload(const TEXEAppendixFileSystem &store);
    void enterPage(QWidget *page);
    // After a page change Enter must mean Next: Next holds the focus whenever it is enabled,
    // the page otherwise (its first field, where it names one as its focus proxy).
    void focusNavigation();
    bool focusOnButtonBar() const;
    // Whether the window may close; if so the connection is dropped and the server stopped.
    bool FormCloseQuery();

    TTelnetOperations *m_operations = nullptr;
    bool m_workingFolderRefused = false;
    QStringList m_deviceInfo;
    TfrmMain *m_tftpHost = nullptr;
    TOKHelpBottomDlg *m_helpDialog = nullptr;
    QList<QWidget *> m_pages;
    QList<QWidget *> m_history;
    QWidget *m_currentPage = nullptr;
    IWizardFrame *m_currentFrame = nullptr;
    bool m_wizardBusy = false;
    // A page entered again after a failure does not start another re-entry when it fails
    // too, so two failing pages cannot bounce between each other without end.
    bool m_reentering = false;
    TRunLogFiles m_runLog;
    std::unique_ptr<TRunRecord> m_runRecord;
    QMetaObject::Connection m_idle;
};
