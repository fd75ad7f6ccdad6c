#pragma once

#include "wizard/WizardFrame.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QTimer;
class TFrameTop;

// What the two run pages share: the header whose subtitle names the current step, the
// overall and per-transfer bars, the memo of progress texts and the panel that takes the TFTP
// host's log while the page shows the run. Each page shows one phase of the run (TRunView).
class TRunPage : public QWidget, public IWizardFrame
{
    Q_OBJECT

public:
    TRunPage(const QString &title, QWidget *parent);
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

    // Set when the run failed while the page showed it; asked only through AbortRequested.
    bool Aborted = false;

    bool CanGoNext() const override { return false; }
    bool CanGoBack() const override { return true; }
    const QMetaObject *NextPageClass() const override;
    bool AbortRequested() const override { return Aborted; }
    bool NextClicked() override { return true; }
    bool ShowNavigation() const override { return true; }

    // A progress text of the run in the memo.
    void ShowProgressLine(const QString &Text);
    void SetStepCount(int N);
    // The overall bar at Position (within its range) and the header's subtitle, both
    // repainted at once.
    void ShowStatus(const QString &Text, int Position);
    // The run's estimate of the time it still needs, beside "Estimated time remaining".
    void ShowTimeLeft(qint64 Ms);
    // A wait of Ms begins: the memo counts it down below the line that announced it, until
    // the next progress text.
    void ShowWait(int Ms);

protected:
    // Cancel goes for good, the host's log moves onto this page and its transfers move this
    // page's step bar.
    void takeOverTheRun();

private:
    QString countdownText() const;
    void updateCountdown();
    void endCountdown();

    QTimer *m_countdown;
    quint32 m_waitEnds = 0;
};
