#include "wizard/Frame_Finish.h"

#include "upgrade/upgrade_device.h"
#include "wizard/Frame_Top.h"
#include "wizard/WizardHost.h"

#include <QLabel>
#include <QVBoxLayout>

TFrameFinish::TFrameFinish(QWidget *parent)
    : QWidget(parent), FrameTop(new TFrameTop(this)),
      lblYouHave(new QLabel(QStringLiteral("You have successfully performed an upgrade."), this)),
      lblToExitClickFinish(new QLabel(QStringLiteral("To exit this program, click Finish."), this))
{
    setObjectName(QStringLiteral("FrameFinish"));
    FrameTop->lblTitle->setText(QStringLiteral("Step6: Congratulations"));
    FrameTop->lblSubtitle->hide();
    lblYouHave->setObjectName(QStringLiteral("lblYouHave"));
    lblToExitClickFinish->setObjectName(QStringLiteral("lblToExitClickFinish"));

    auto *texts = new QVBoxLayout;
    texts->setContentsMargins(24, 20, 24, 12);
    texts->setSpacing(16);
    texts->addWidget(lblYouHave);
    texts->addWidget(lblToExitClickFinish);
    texts->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FrameTop);
    layout->addLayout(texts, 1);
}

void TFrameFinish::PageEntered()
{
    const QString rule(40, u'-');
    mainForm()->Operations()->Log << rule << rule << QStringLiteral("----Tessaro competed succesfully----") << rule
                                  << rule;
    mainForm()->SaveLog();
}
