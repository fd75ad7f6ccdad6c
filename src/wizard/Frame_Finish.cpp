#include "wizard/Frame_Finish.h"

#include "platform/Dialogs.h"
#include "run/RunRecord.h"
#include "upgrade/upgrade_device.h"
#include "wizard/Captions.h"
#include "wizard/Frame_Top.h"
#include "wizard/WizardHost.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFrameFinish::TFrameFinish(QWidget *parent)
    : QWidget(parent), FrameTop(new TFrameTop(this)),
      lblYouHave(new QLabel(QStringLiteral("You have successfully performed an upgrade."), this)),
      lblToExitClickFinish(new QLabel(QStringLiteral("To exit this program, click Finish."), this)),
      btnOpenReport(new QPushButton(this))
{
    setObjectName(QStringLiteral("FrameFinish"));
    FrameTop->lblTitle->setText(QStringLiteral("Step6: Congratulations"));
    FrameTop->lblSubtitle->hide();
    lblYouHave->setObjectName(QStringLiteral("lblYouHave"));
    lblToExitClickFinish->setObjectName(QStringLiteral("lblToExitClickFinish"));
    btnOpenReport->setObjectName(QStringLiteral("btnOpenReport"));
    setCaption(btnOpenReport, QStringLiteral("Open the run's report"));
    btnOpenReport->setAutoDefault(false);
    btnOpenReport->hide();
    connect(btnOpenReport, &QPushButton::clicked, this, &TFrameFinish::btnOpenReportClick);
    auto *reportRow = new QHBoxLayout;
    reportRow->addWidget(btnOpenReport);
    reportRow->addStretch(1);

    auto *texts = new QVBoxLayout;
    texts->setContentsMargins(24, 20, 24, 12);
    texts->setSpacing(16);
    texts->addWidget(lblYouHave);
    texts->addWidget(lblToExitClickFinish);
    texts->addLayout(reportRow);
    texts->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FrameTop);
    layout->addLayout(texts, 1);
}

void TFrameFinish::PageEntered()
{
    const TRunRecord *record = mainForm()->RunRecord();
    const bool unconfirmed = record && record->Result.Outcome == TRunOutcome::Unconfirmed;
    const QString rule(40, u'-');
    mainForm()->Operations()->Log << rule << rule
                                  << (unconfirmed ? QStringLiteral("----Tessaro could not confirm the upgrade----")
                                                  : QStringLiteral("----Tessaro competed succesfully----"))
                                  << rule << rule;
    mainForm()->SaveLog();
    lblYouHave->setText(unconfirmed ? QStringLiteral("The switch was not seen running the final version: see the report.")
                                    : QStringLiteral("You have successfully performed an upgrade."));
    btnOpenReport->setVisible(record && QFileInfo::exists(record->ReportPath));
}

void TFrameFinish::btnOpenReportClick()
{
    const QString path = mainForm()->RunRecord()->ReportPath;
    if (!Platform::dialogs().openDocument(path)) {
        Platform::showMessage(Platform::MessageKind::Warning,
                              QStringLiteral("This computer has no program to open the report with.\n"
                                             "Open it with a web browser yourself:\n")
                                  + QDir::toNativeSeparators(path));
    }
}
