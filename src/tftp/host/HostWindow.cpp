#include "tftp/host/HostWindow.h"

#include "platform/Dialogs.h"
#include "platform/WorkingFolder.h"
#include "tftp/CheckAccess.h"
#include "tftp/LogLines.h"
#include "tftp/ProgressStream.h"
#include "tftp/host/TransferWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

TfrmMain::TfrmMain(const QString &payloadFile, QWidget *parent)
    : QWidget(parent), edtRootDir(new QLineEdit(this)), btnBrowse(new QPushButton(QStringLiteral("..."), this)),
      lblCount(new QLabel(QStringLiteral("0"), this)), memLog(new QPlainTextEdit(this)),
      TftpServer(new TTrivialFTPServer(this)), m_appendix(payloadFile), m_transferParent(this)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Trivial FTP server"));
    resize(409, 181);

    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(49);
    auto *rootLabel = new QLabel(QStringLiteral("Root directory"), panel);
    rootLabel->setObjectName(QStringLiteral("Label1"));
    edtRootDir->setObjectName(QStringLiteral("edtRootDir"));
    edtRootDir->setText(WorkingFolder());
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
    TftpServer->OnReadFile = [this](TTrivialFTPServer *, QString &name, const TPeerInfo &peer, bool &grant,
                                    QIODevice *&stream, bool &freeStream) {
        OnReadFile(name, peer, grant, stream, freeStream);
    };
    TftpServer->OnWriteFile = [this](TTrivialFTPServer *, QString &name, const TPeerInfo &peer, bool &grant,
                                     QIODevice *&stream, bool &freeStream) {
        OnWriteFile(name, peer, grant, stream, freeStream);
    };
    TftpServer->OnTransferComplete = [this](TTrivialFTPServer *, bool success, const TPeerInfo &peer, QIODevice *stream,
                                            bool) { OnTransferComplete(success, peer, stream); };
}

TfrmMain::~TfrmMain()
{
    // The server ends running transfers and waits for their reports, which still need the
    // log, the count and the progress windows: it goes before any of them.
    delete TftpServer;
}

bool TfrmMain::HasAppendix()
{
    return m_appendix.HasAppendix();
}

bool TfrmMain::AppendixFileExists(const QString &name)
{
    return m_appendix.FileExists(name);
}

std::unique_ptr<QIODevice> TfrmMain::OpenAppendixFile(const QString &name)
{
    return m_appendix.OpenFile(name, TExeAppendixStream::AccessMode::Read);
}

void TfrmMain::btnBrowseClick()
{
    const QString folder = Platform::dialogs().chooseFolder(edtRootDir->text());
    if (!folder.isEmpty())
        edtRootDir->setText(folder);
}

void TfrmMain::OnReadFile(QString &FileName, const TPeerInfo &PeerInfo, bool &GrantAccess, QIODevice *&AStream,
                          bool &FreeStreamOnComplete)
{
    admit(false, FileName, PeerInfo, GrantAccess, AStream, FreeStreamOnComplete);
}

void TfrmMain::OnWriteFile(QString &FileName, const TPeerInfo &PeerInfo, bool &GrantAccess, QIODevice *&AStream,
                           bool &FreeStreamOnComplete)
{
    admit(true, FileName, PeerInfo, GrantAccess, AStream, FreeStreamOnComplete);
}

void TfrmMain::admit(bool writing, QString &FileName, const TPeerInfo &PeerInfo, bool &GrantAccess,
                     QIODevice *&AStream, bool &FreeStreamOnComplete)
{
    FreeStreamOnComplete = false;
    bool granted = false;
    GrantAccess = CheckAccess(FileName, edtRootDir->text());
    // The line is logged also when opening the file fails and the failure goes on to the
    // server, which answers the peer with its error code.
    const auto log = qScopeGuard(
        [&] { memLog->appendPlainText(tftpLogLine(PeerInfo, requestLogText(writing, FileName, granted))); });
    if (!GrantAccess)
        return;

    auto stream = m_files.open(FileName, writing);
    ShowTransferWindow(FileName, writing, stream.get());
    AStream = stream.release();
    granted = true;
    addCount(1);
}

void TfrmMain::ShowTransferWindow(const QString &FileName, bool writing, TProgressStream *stream)
{
    const QString caption = QStringLiteral("%1 %2").arg(writing ? QStringLiteral("Writing") : QStringLiteral("Reading"),
                                                        QFileInfo(FileName).fileName());
    auto *window = new TfrmTransfer(m_transferParent, caption, stream, writing ? 0 : stream->size(), ExternalProgressBar);
    // In the top right corner, over the header's picture rather than the step it names; each
    // further window sits a little lower, so that parallel transfers stay visible.
    const int x = m_transferParent ? m_transferParent->width() - window->width() - 8 : 8;
    window->move(std::max(x, 8), 8 + 24 * int(m_transferWindows.size() % 8));
    m_transferWindows.append(window);
    window->show();
    window->raise();
}

void TfrmMain::OnTransferComplete(bool Success, const TPeerInfo &PeerInfo, QIODevice *AStream)
{
    // A received file that could not take its name counts as a failed transfer.
    Success = m_files.finish(AStream, Success);
    memLog->appendPlainText(tftpLogLine(PeerInfo, transferLogText(Success, AStream ? AStream->pos() : 0)));
    for (qsizetype i = m_transferWindows.size() - 1; i >= 0; --i) {
        if (m_transferWindows[i]->WaitThread()->Stream() == AStream)
            delete m_transferWindows.takeAt(i);
    }
    delete AStream;
    addCount(-1);
    m_transferDone = true;
    m_transferOk = Success;
}

void TfrmMain::addCount(int delta)
{
    lblCount->setText(QString::number(lblCount->text().toInt() + delta));
}
