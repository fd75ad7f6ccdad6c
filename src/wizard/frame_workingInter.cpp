#include "wizard/frame_workingInter.h"

#include <QGroupBox>
#include <QLabel>

TFrameWorkingInter::TFrameWorkingInter(QWidget *parent)
    : TRunPage(QStringLiteral("Step4: Upgrading from intermidiate to 746 version"), parent)
{
    setObjectName(QStringLiteral("FrameWorkingInter"));
    GroupBox1->setTitle(QStringLiteral("Switch information"));
    GroupBox1->setAccessibleName(QStringLiteral("Switch information"));
    QFont bold = lblPleaseWait->font();
    bold.setBold(true);
    bold.setPixelSize(13);
    lblPleaseWait->setFont(bold);
    QPalette navy = lblPleaseWait->palette();
    navy.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
    lblPleaseWait->setPalette(navy);
}

void TFrameWorkingInter::PageEntered()
{
    Aborted = false;
    takeOverTheRun();
}
