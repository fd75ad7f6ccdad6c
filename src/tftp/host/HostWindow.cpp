#include "tftp/host/HostWindow.h"

#include "platform/Dialogs.h"
#include "tftp/ProgressStream.h"
#include "tftp/host/TransferWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

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

void TfrmMain::ShowTransferWindow(const TTransferRecord &record, TProgressStream *stream)
{
    const QString caption = QStringLiteral("%1 %2").arg(record.Writing ? QStringLiteral("Writing") : QStringLiteral("Reading"),
                                                        QFileInfo(record.FileName).fileName());
    auto *window = new TfrmTransfer(m_transferParent, caption, stream, record.Size, ExternalProgressBar);
    // In the top right corner, over the header's picture rather than the step it names; each
    // further window sits a little lower, so that parallel transfers stay visible.
    const int x = m_transferParent ? m_transferParent->width() - window->width() - 8 : 8;
    window->move(std::max(x, 8), 8 + 24 * int(m_transferWindows.size() % 8));
    m_transferWindows.append(window);
    window->show();
    window->raise();
}

void TfrmMain::closeTransferWindows(const TProgressStream *stream)
{
    for (qsizetype i = m_transferWindows.size() - 1; i >= 0; --i) {
        if (m_transferWindows[i]->WaitThread()->Stream() == stream)
            delete m_transferWindows.takeAt(i);
    }
}
