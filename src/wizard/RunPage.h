#pragma once

#include "wizard/WizardFrame.h"

#include <QWidget>

#include <functional>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class TFrameTop;
class TTelnetOperations;

// What the two run pages share: the header whose subtitle names the current step, the
// overall and per-transfer bars, the memo of progress texts and the panel that takes the TFTP
// host's log while the page runs. The pages differ in what they run and in their log prefix.
class TRunPage : public QWidget, public IWizardFrame
{
    Q_OBJECT

public:
    TRunPage(const QString &title, const QString &logPrefix, QWidget *parent);
    Q_DISABLE_COPY_MOVE(TRunPage)

    TFrameTop *FrameTop;
    QLabel *lblPleaseWait;
    QLabel *lblOverall;
    QLabel *lblTimeToCompletion;
    QProgressBar *prbOverall;
    QLabel *lblItem;
    QProgressBar *prbItem;
    QGroupBox *GroupBox1;
    QPlainTextEdit *MemoInfo;
    QWidget *Panelmemo;

    // Set when the run failed; asked only through AbortRequested.
    bool Aborted = false;

    bool CanGoNext() const override { return false; }
    bool CanGoBack() const override { return true; }
    const QMetaObject *NextPageClass() const override;
    bool AbortRequested() const override { return Aborted; }
    bool NextClicked() override { return true; }
    bool ShowNavigation() const override { return true; }

    // The progress callback of the procedure: the memo, and the run log with the page's
    // prefix, saved at every tenth line.
    void AddProgressLine(TTelnetOperations *Sender, const QString &Text);
    void SetStepCount(int N);

protected:
    // Runs the page's work. An error that escapes it ends the program once it has been shown,
    // with the log saved: the failure rule enters the page that was current before, which may
    // be a run page, and a run is never started again that way on a switch that may be
    // half-way through writing an image. Once the end is requested, entering does nothing.
    void runGuarded(const std::function<void()> &work);
    // Cancel goes for good, the host's log moves onto this page and its transfers move this
    // page's step bar.
    void takeOverTheRun();
    // The header's subtitle, repainted at once, at the size it has during a run.
    void showSubtitle(const QString &text);

private:
    QString m_logPrefix;
};
