#include "tftp/host/HostWindow.h"

#include "platform/Dialogs.h"
#include "tftp/ProgressStream.h"
#include "tftp/host/TransferWindow.h"

#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Between the owner's frame and a progress window.
constexpr int kGap = 8;
// Each further progress window this much lower, for as many windows; then from the top again.
constexpr int kCascadeStep = 24;
constexpr int kCascadeDepth = 8;

// Where the index-th progress window, of outer size `size`, goes beside the owner's frame on
// the screen's free area: to its right when there is room, otherwise to its left, otherwise
// below it. The owner has no free area for it inside.
QPoint besideOwner(const QRect &owner, const QSize &size, const QRect &screen, int index)
{
    const int lower = kCascadeStep * (index % kCascadeDepth);
    const auto onScreenY = [&](int y) {
        return std::clamp(y, screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height()));
    };
    if (owner.right() + kGap + size.width() <= screen.right())
        return {owner.right() + 1 + kGap, onScreenY(owner.top() + lower)};
    if (owner.left() - kGap - size.width() >= screen.left())
        return {owner.left() - kGap - size.width(), onScreenY(owner.top() + lower)};
    const int x = std::clamp(owner.right() + 1 - size.width(), screen.left(),
                             std::max(screen.left(), screen.right() + 1 - size.width()));
    return {x, onScreenY(owner.bottom() + 1 + kGap + lower)};
}

} // namespace

TfrmMain::TfrmMain(const QString &payloadFile, QWidget *parent)
    : QWidget(parent), edtRootDir(new QLineEdit(this)), btnBrowse(new QPushButton(QStringLiteral("..."), this)),
      lblCount(new QLabel(QStringLiteral("0"), this)), memLog(new QPlainTextEdit(this)), TftpServer(nullptr),
      m_host(std::make_unique<TTftpHost>(payloadFile)), m_transferParent(this)
{
    TftpServer = m_host->TftpServer;
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Trivial FTP server"));
    resize(409, 181);

    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(49);
    auto *rootLabel = new QLabel(QStringLiteral("Root directory"), panel);
    rootLabel->setObjectName(QStringLiteral("Label1"));
    edtRootDir->setObjectName(QStringLiteral("edtRootDir"));
    edtRootDir->setText(m_host->RootFolder());
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->setAccessibleName(QStringLiteral("Browse"));
    auto *usersLabel = new QLabel(QStringLiteral("Connected users: "), panel);
    usersLabel->setObjectName(QStringLiteral("Label2"));
    lblCount->setObjectName(QStringLiteral("lblCount"));
    QFont bold = lblCount->font();
    bold.setBold(true);
    lblCount->setFont(bold);
    lblCount->setForegroundRole(QPalette::ToolTipText);
    memLog->setObjectName(QStringLiteral("memLog"));
    memLog->setReadOnly(true);

    auto *row = new QHBoxLayout(panel);
    row->addWidget(rootLabel);
    row->addWidget(edtRootDir, 1);
    row->addWidget(btnBrowse);
    row->addStretch();
    row->addWidget(usersLabel);
    row->addWidget(lblCount);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(memLog, 1);

    connect(btnBrowse, &QPushButton::clicked, this, &TfrmMain::btnBrowseClick);
    connect(edtRootDir, &QLineEdit::textChanged, m_host.get(), &TTftpHost::SetRootFolder);
    // The log and the count may have moved onto a run page that goes first: the connections
    // end with them.
    connect(m_host.get(), &TTftpHost::logLine, memLog, &QPlainTextEdit::appendPlainText);
    connect(m_host.get(), &TTftpHost::openTransfersChanged, lblCount,
            [this](int count) { lblCount->setText(QString::number(count)); });
    connect(m_host.get(), &TTftpHost::transferStarted, this, &TfrmMain::ShowTransferWindow);
    connect(m_host.get(), &TTftpHost::transferEnding, this, &TfrmMain::closeTransferWindows);
}

TfrmMain::~TfrmMain()
{
    // The host's server ends running transfers and waits for their reports, which still
    // reach the log, the count and the progress windows: the host goes before any of them.
    m_host.reset();
}

void TfrmMain::btnBrowseClick()
{
    const QString folder = Platform::dialogs().chooseFolder(edtRootDir->text());
    if (!folder.isEmpty())
        edtRootDir->setText(folder);
}

void TfrmMain::SetTransferParent(QWidget *parent)
{
    if (m_transferParent)
        m_transferParent->removeEventFilter(this);
    m_transferParent = parent;
    if (m_transferParent)
        m_transferParent->installEventFilter(this);
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    // A progress window stays above its owner: left where it was, it would cover the owner's
    // text once the owner has moved under it.
    if (watched == m_transferParent && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        for (qsizetype i = 0; i < m_transferWindows.size(); ++i)
            placeTransferWindow(m_transferWindows[i], int(i));
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::ShowTransferWindow(const TTransferRecord &record, TProgressStream *stream)
{
    const QString caption = QStringLiteral("%1 %2").arg(record.Writing ? QStringLiteral("Writing") : QStringLiteral("Reading"),
                                                        QFileInfo(record.FileName).fileName());
    auto *window = new TfrmTransfer(m_transferParent, caption, stream, record.Size, ExternalProgressBar);
    // Each further window sits a little lower, so that parallel transfers stay visible.
    placeTransferWindow(window, int(m_transferWindows.size()));
    m_transferWindows.append(window);
    window->show();
}

void TfrmMain::placeTransferWindow(TfrmTransfer *window, int index) const
{
    const QWidget *owner = m_transferParent;
    const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    if (!owner) {
        window->move(area.topLeft() + QPoint(kGap, kGap + kCascadeStep * (index % kCascadeDepth)));
        return;
    }
    // A window's frame is the desktop's; until it has been shown, the owner's frame is the
    // best estimate of it.
    const QRect frame = owner->frameGeometry();
    const QRect client = owner->geometry();
    const QSize decoration(frame.width() - client.width(), frame.height() - client.height());
    window->move(besideOwner(frame, window->size() + decoration, area, index));
}

void TfrmMain::closeTransferWindows(const TProgressStream *stream)
{
    for (qsizetype i = m_transferWindows.size() - 1; i >= 0; --i) {
        if (m_transferWindows[i]->WaitThread()->Stream() == stream)
            delete m_transferWindows.takeAt(i);
    }
}
