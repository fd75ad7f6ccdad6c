#pragma once

#include "wizard/WizardFrame.h"

#include <QWidget>

class QLineEdit;
class QPlainTextEdit;
class QToolButton;
class TFrameTop;
class TTelnetOperations;

// The device page: the switch's user name, password and address and where its configuration
// is to be saved; Next checks them, hands them to the upgrade procedure and takes the
// switch's inventory, which the page shows.
class TFrameIPAddress final : public QWidget, public IWizardFrame
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFrameIPAddress(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFrameIPAddress)

    TFrameTop *FrameTop;
    QLineEdit *edUserName;
    QLineEdit *edPassword;
    QLineEdit *edIpAddress;
    QLineEdit *edConfFileName;
    QToolButton *btnBrowse;
    QPlainTextEdit *MemoInfo;
    // The inventory failed: the operator has been told, and the wizard closes instead of
    // moving on.
    bool InventoryFailed = false;

    // A user name and a valid device address; the password may stay empty.
    bool CanGoNext() const override;
    bool CanGoBack() const override { return true; }
    const QMetaObject *NextPageClass() const override;
    bool AbortRequested() const override { return InventoryFailed; }
    bool NextClicked() override;
    void PageEntered() override { InventoryFailed = false; }
    bool ShowNavigation() const override { return true; }

    // The inventory's progress: a line of the memo, and of the run log after "Step1:".
    void AddProgressLine(TTelnetOperations *Sender, const QString &Text);

private:
    void btnBrowseClick();
    void edConfFileNameExit();
};
