#pragma once

#include "wizard/WizardFrame.h"

#include <QWidget>

class QLabel;
class QPushButton;
class TFrameTop;

// The last page: closes the run log. Its Next reads "Finish" and closes the wizard without
// a question.
class TFrameFinish final : public QWidget, public IWizardFrame
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFrameFinish(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFrameFinish)

    TFrameTop *FrameTop;
    QLabel *lblYouHave;
    QLabel *lblToExitClickFinish;
    // Opens the run's report in the desktop's browser; shown once a run has written one.
    QPushButton *btnOpenReport;

    bool CanGoNext() const override { return true; }
    bool CanGoBack() const override { return false; }
    const QMetaObject *NextPageClass() const override { return nullptr; }
    bool AbortRequested() const override { return false; }
    bool NextClicked() override { return true; }
    // Appends the closing lines to the run log and saves it, on every entry.
    void PageEntered() override;
    bool ShowNavigation() const override { return true; }

    void btnOpenReportClick();
};
