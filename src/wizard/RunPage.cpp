#include "wizard/RunPage.h"

#include "platform/Clock.h"
#include "platform/TextLines.h"
#include "run/RunPlan.h"
#include "tftp/host/HostWindow.h"
#include "wizard/Frame_Finish.h"
#include "wizard/Frame_Top.h"
#include "wizard/WizardHost.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kBarRange = 1000;

QLabel *namedLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QProgressBar *namedBar(const QString &name, const QString &accessibleName, QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setAccessibleName(accessibleName);
    bar->setRange(0, kBarRange);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedHeight(16);
    return bar;
}

} // namespace

TRunPage::TRunPage(const QString &title, QWidget *parent)
    : QWidget(parent), FrameTop(new TFrameTop(this)),
      lblPleaseWait(namedLabel(QStringLiteral("lblPleaseWait"), QStringLiteral("Please wait while the upgrade is performed"), this)),
      lblOverall(namedLabel(QStringLiteral("lblOverall"), QStringLiteral("Overall progess"), this)),
      lblTimeToCompletion(namedLabel(QStringLiteral("lblTimeToCompletion"), QStringLiteral("Estimated time remaining"), this)),
      prbOverall(namedBar(QStringLiteral("prbOverall"), QStringLiteral("Overall progess"), this)),
      lblItem(namedLabel(QStringLiteral("lblItem"), QStringLiteral("Step progress"), this)),
      prbItem(namedBar(QStringLiteral("prbItem"), QStringLiteral("Step progress"), this)),
      GroupBox1(new QGroupBox(QStringLiteral("Telnet && TFTP Section"), this)), MemoInfo(new QPlainTextEdit(GroupBox1)),
      Panelmemo(new QWidget(GroupBox1)), m_countdown(new QTimer(this))
{
    m_countdown->setInterval(1000);
    connect(m_countdown, &QTimer::timeout, this, &TRunPage::updateCountdown);
    FrameTop->lblTitle->setText(title);
    FrameTop->lblSubtitle->setText(QStringLiteral("Wizard is working"));
    lblTimeToCompletion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setAccessibleName(QStringLiteral("Telnet & TFTP Section"));

    MemoInfo->setObjectName(QStringLiteral("MemoInfo"));
    MemoInfo->setAccessibleName(QStringLiteral("Progress"));
    MemoInfo->setReadOnly(true);
    // The memo is three lines high in the fixed window: long lines (a status the switch
    // reports, a telnet answer) wrap instead of hiding their end behind a scroll bar that
    // would take one of those lines.
    MemoInfo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoInfo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QPalette grey = MemoInfo->palette();
    grey.setColor(QPalette::Base, QColor(0xE0, 0xE0, 0xE0));
    MemoInfo->setPalette(grey);
    Panelmemo->setObjectName(QStringLiteral("Panelmemo"));
    auto *panelLayout = new QVBoxLayout(Panelmemo);
    panelLayout->setContentsMargins(0, 0, 0, 0);

    auto *group = new QVBoxLayout(GroupBox1);
    group->setContentsMargins(6, 4, 6, 6);
    group->setSpacing(4);
    group->addWidget(MemoInfo, 1);
    group->addWidget(Panelmemo, 1);

    auto *overallRow = new QHBoxLayout;
    overallRow->addWidget(lblOverall);
    overallRow->addStretch(1);
    overallRow->addWidget(lblTimeToCompletion);

    auto *content = new QVBoxLayout;
    content->setContentsMargins(12, 6, 12, 6);
    content->setSpacing(3);
    content->addWidget(lblPleaseWait);
    content->addLayout(overallRow);
    content->addWidget(prbOverall);
    content->addWidget(lblItem);
    content->addWidget(prbItem);
    content->addWidget(GroupBox1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FrameTop);
    layout->addLayout(content, 1);
}

const QMetaObject *TRunPage::NextPageClass() const
{
    return &TFrameFinish::staticMetaObject;
}

void TRunPage::ShowProgressLine(const QString &Text)
{
    endCountdown();
    // The switch's own lines come as it sent them; the log keeps them so.
    MemoInfo->appendPlainText(Platform::terminalDisplayText(Text));
}

void TRunPage::ShowWait(int Ms)
{
    endCountdown();
    m_waitEnds = Platform::tickCount() + quint32(Ms);
    MemoInfo->appendPlainText(countdownText());
    m_countdown->start();
}

QString TRunPage::countdownText() const
{
    const qint32 left = qint32(m_waitEnds - Platform::tickCount());
    return QStringLiteral("    ") + durationText(std::max(left, 0)) + QStringLiteral(" left");
}

// The countdown is the memo's last line while it runs.
void TRunPage::updateCountdown()
{
    QTextCursor line(MemoInfo->document());
    line.movePosition(QTextCursor::End);
    line.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    line.insertText(countdownText());
}

void TRunPage::endCountdown()
{
    if (!m_countdown->isActive())
        return;
    m_countdown->stop();
    QTextCursor line(MemoInfo->document());
    line.movePosition(QTextCursor::End);
    line.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    line.removeSelectedText();
    line.deletePreviousChar();
}

void TRunPage::SetStepCount(int N)
{
    prbOverall->setMaximum(N);
    prbOverall->setValue(0);
    prbOverall->repaint();
}

void TRunPage::ShowStatus(const QString &Text, int Position)
{
    prbOverall->setValue(std::clamp(Position, prbOverall->minimum(), prbOverall->maximum()));
    prbOverall->repaint();
    FrameTop->lblSubtitle->setText(Text);
    FrameTop->setSubtitleSize(281, 28);
    FrameTop->lblSubtitle->repaint();
}

void TRunPage::ShowTimeLeft(qint64 Ms)
{
    lblTimeToCompletion->setText(QStringLiteral("Estimated time remaining: ") + durationText(Ms));
}

void TRunPage::takeOverTheRun()
{
    mainForm()->hideCancel();
    TfrmMain *host = mainForm()->TftpHost();
    Panelmemo->layout()->addWidget(host->memLog);
    host->memLog->show();
    host->ExternalProgressBar = prbItem;
}

