#pragma once

#include <QDialog>

class QFrame;
class QPushButton;

// The program's plain dialog: a framed area above an OK button (the default, accepting)
// and a Cancel button (rejecting). Dialogs built on it fill the frame.
class TOKBottomDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TOKBottomDlg(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TOKBottomDlg)

    QFrame *Bevel1;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
};

// "Help Documents": three buttons that hand the help documents in the working folder to the
// desktop's viewer. Only OK (or the window's close button) closes it.
class TOKHelpBottomDlg final : public TOKBottomDlg
{
    Q_OBJECT

public:
    explicit TOKHelpBottomDlg(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TOKHelpBottomDlg)

    QPushButton *Button1;
    QPushButton *Button2;
    QPushButton *Button3;

    // How long a button stays disabled once it has handed its document to the viewer.
    static constexpr int kReopenDelayMs = 1000;

    void Button1Click();
    void Button2Click();
    void Button3Click();

private:
    // Opens WorkingFolder() + document; the button stays disabled for a second, so that
    // repeated clicks cannot start the viewer several times. When nothing can open it, the
    // operator is told where the document lies instead.
    void OpenDocument(QPushButton *button, const QString &document);
};
