#include "app/Form_Main.h"

#include "app/AppEvents.h"
#include "app/files/WizardFiles.h"
#include "payload/ExeStrm.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/WorkingFolder.h"
#include "run/RunRecord.h"
#include "tftp/host/HostWindow.h"
#include "upgrade/upgrade_device.h"
#include "wizard/Captions.h"
#include "wizard/Frame_Welcome.h"
#include "wizard/Frame_Working.h"
#include "wizard/HelpDlg.h"
#include "wizard/WizardFrame.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QIcon>
#include <QPushButton>

#include <utility>

using Platform::MessageAnswer;
using Platform::MessageButtons;
using Platform::MessageKind;

namespace {

const QString kNextCaption = QStringLiteral("&Next >");
const QString kFinishCaption = QStringLiteral("Finish");

constexpr int kButtonBarHeight = 48;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 28;
constexpr int kMargin = 8;

// A store that cannot be read is no payload at all, and says nothing.
bool payloadOpens(const TEXEAppendixFileSystem &store)
{
    try {
        return store.HasAppendix();
    } catch (const std::exception &) {
        return false;
    }
}

void bind(QPushButton *button, QAction *action)
{
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
    QObject::connect(action, &QAction::visibleChanged, button, [button, action] { button->setVisible(action->isVisible()); });
}

} // namespace

TMainForm::TMainForm(const QString &payloadFile, QWidget *parent)
    : QDialog(parent), pnlPages(new QWidget(this)), btnHelp(new QPushButton(this)), btnBack(new QPushButton(this)),
      btnNext(new QPushButton(this)), btnCancel(new QPushButton(this)), ActionNext(new QAction(this)),
      ActionBack(new QAction(this)), ActionHelp(new QAction(this))
{
    Q_ASSERT(!mainForm());
    setMainForm(this);
    buildLayout();
    bindActions();

    // The application's title is the window's caption, for the message boxes' titles. Set
    // as the application's name, not its display name: a display name is appended to every
    // window title ("Help Documents — Tessaro"), and the captions stand as they are.
    QCoreApplication::setApplicationName(windowTitle());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/artwork/ICON.png")));
    ShowPageOfClass(&TFrameWelcome::staticMetaObject);
    focusNavigation();
    createWorkingFolder();
    if (!m_workingFolderRefused) {
        const TEXEAppendixFileSystem store(payloadFile);
        if (payloadOpens(store)) {
            try {
                ExtractPayload(store);
            } catch (const std::exception &error) {
                // The operator learns why; the wizard still starts, as with a missing folder.
                AppEventsException(error);
            }
        }
    }
    m_operations = new TTelnetOperations(this);
}

TMainForm::~TMainForm()
{
    disconnect(m_idle);
    m_currentFrame = nullptr;
    m_currentPage = nullptr;
    qDeleteAll(m_pages);
    m_pages.clear();
    m_history.clear();
    try {
        SaveLog();
    } catch (const std::exception &error) {
        AppEventsException(error);
    }
    delete m_operations;
    setMainForm(nullptr);
}

void TMainForm::buildLayout()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tessaro"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);

    const int pageHeight = kClientHeight - kButtonBarHeight;
    pnlPages->setObjectName(QStringLiteral("pnlPages"));
    pnlPages->setGeometry(0, 0, kClientWidth, pageHeight);
    auto *bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(0, pageHeight, kClientWidth, 2);

    const int y = pageHeight + 2 + (kButtonBarHeight - 2 - kButtonHeight) / 2;
    const int cancelX = kClientWidth - kMargin - kButtonWidth;
    const int nextX = cancelX - 2 * kMargin - kButtonWidth;
    const struct
    {
        QPushButton *button;
        const char16_t *name;
        const char16_t *caption;
        int x;
    } buttons[] = {
        {btnHelp, u"btnHelp", u"&Help", kMargin},
        {btnBack, u"btnBack", u"< &Back", nextX - kButtonWidth},
        {btnNext, u"btnNext", u"&Next >", nextX},
        {btnCancel, u"btnCancel", u"Cancel", cancelX},
    };
    for (const auto &b : buttons) {
        b.button->setObjectName(QString::fromUtf16(b.name));
        setCaption(b.button, QString::fromUtf16(b.caption));
        b.button->setGeometry(b.x, y, kButtonWidth, kButtonHeight);
    }
    btnNext->setDefault(true);
    btnCancel->setToolTip(QStringLiteral("Quit Norvale Tessaro"));
}

void TMainForm::bindActions()
{
    ActionNext->setObjectName(QStringLiteral("ActionNext"));
    ActionNext->setText(kNextCaption);
    ActionBack->setObjectName(QStringLiteral("ActionBack"));
    ActionBack->setText(QStringLiteral("< Back"));
    ActionHelp->setObjectName(QStringLiteral("ActionHelp"));
    ActionHelp->setText(QStringLiteral("&Help"));
    ActionHelp->setShortcut(QKeySequence(Qt::Key_F1));
    addAction(ActionHelp);

    bind(btnHelp, ActionHelp);
    bind(btnBack, ActionBack);
    bind(btnNext, ActionNext);
    connect(ActionNext, &QAction::changed, this, [this] {
        if (btnNext->text() != ActionNext->text())
            setCaption(btnNext, ActionNext->text());
    });
    connect(ActionNext, &QAction::triggered, this, &TMainForm::ActionNextExecute);
    connect(ActionBack, &QAction::triggered, this, &TMainForm::ActionBackExecute);
    connect(ActionHelp, &QAction::triggered, this, &TMainForm::ActionHelpExecute);
    connect(btnCancel, &QPushButton::clicked, this, &TMainForm::btnCancelClick);

    // The event loop is idle when it is about to wait; a run that pumps events by itself
    // never waits, so Next and Back keep what UpdateButtons gave them meanwhile.
    m_idle = connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        ActionNextUpdate();
        ActionBackUpdate();
    });
}

void TMainForm::createWorkingFolder()
{
    const QString folder = WorkingFolder();
    QString reason;
    switch (makePrivateFolder(folder, reason)) {
    case FolderCheck::Private:
        break;
    case FolderCheck::NotCreated:
        Platform::showMessage(MessageKind::Error, QStringLiteral("Could not generate directory ") + folder);
        break;
    case FolderCheck::NotPrivate:
        m_workingFolderRefused = true;
        Platform::showMessage(MessageKind::Error,
                              QStringLiteral("The working folder %1 %2, so it is not safe to use.\r\n"
                                             "Remove it, or start the wizard with TMPDIR set to a folder of "
                                             "your own.")
                                  .arg(folder, reason));
        break;
    }
}

void TMainForm::ExtractPayload(const TEXEAppendixFileSystem &store)
{
    extractPayloadFiles(store, WorkingFolder());
}

void TMainForm::SaveLog()
{
    if (m_workingFolderRefused)
        return;
    m_runLog.save(m_operations->DeviceAddress, m_operations->ConfigFileName, m_operations->Log, WorkingFolder());
}

QString TMainForm::LogPath() const
{
    return Platform::folderPart(m_operations->ConfigFileName) + TRunLogFiles::logName(m_operations->DeviceAddress);
}

void TMainForm::SetRunRecord(const TRunRecord &record)
{
    m_runRecord = std::make_unique<TRunRecord>(record);
}

void TMainForm::hideCancel()
{
    btnCancel->hide();
}

void TMainForm::SetTftpHost(TfrmMain *host)
{
    m_tftpHost = host;
    m_operations->TftpHost = host;
    host->SetTransferParent(this);
}

void TMainForm::ShowPage(QWidget *page)
{
    QWidget *previous = m_currentPage;
    try {
        enterPage(page);
    } catch (...) {
        if (m_reentering)
            throw;
        m_reentering = true;
        try {
            enterPage(previous);
        } catch (...) {
            m_reentering = false;
            throw;
        }
        m_reentering = false;
        throw;
    }
}

void TMainForm::enterPage(QWidget *page)
{
    m_currentPage = page;
    m_currentFrame = dynamic_cast<IWizardFrame *>(page);
    if (!m_currentFrame)
        return;
    if (m_currentFrame->NextPageClass()) {
        const bool navigation = m_currentFrame->ShowNavigation();
        ActionNext->setVisible(navigation);
        ActionBack->setVisible(navigation);
    } else {
        // The last page offers one button where Cancel was; nothing comes after it.
        btnNext->move(btnCancel->x(), btnNext->y());
        btnBack->hide();
        btnCancel->hide();
        btnNext->show();
    }
    page->setGeometry(pnlPages->rect());
    page->raise();
    page->show();
    // Away from the button bar, where disabling Next put it: Enter there would press Help.
    page->setFocus();
    for (QWidget *other : std::as_const(m_pages)) {
        if (other != page)
            other->hide();
    }
    m_currentFrame->PageEntered();
}

void TMainForm::ShowPageOfClass(const QMetaObject *pageClass)
{
    QWidget *page = FindPage(pageClass);
    if (!page) {
        page = qobject_cast<QWidget *>(pageClass->newInstance());
        if (!page)
            throw Exception(QStringLiteral("Cannot create the page ") + QLatin1String(pageClass->className()));
        page->hide();
        page->setParent(pnlPages);
        m_pages.append(page);
    }
    ShowPage(page);
}

QWidget *TMainForm::FindPage(const QMetaObject *pageClass) const
{
    for (QWidget *page : m_pages) {
        if (page->metaObject() == pageClass)
            return page;
    }
    return nullptr;
}

const QMetaObject *TMainForm::CurrentPageClass() const
{
    return m_currentPage ? m_currentPage->metaObject() : nullptr;
}

void TMainForm::UpdateButtons()
{
    ActionNext->setEnabled(!m_wizardBusy && m_currentFrame && m_currentFrame->CanGoNext());
    ActionBack->setEnabled(!m_history.isEmpty() && !m_wizardBusy);
    btnBack->setEnabled(ActionBack->isEnabled());
    btnNext->setEnabled(ActionNext->isEnabled());
}

void TMainForm::focusNavigation()
{
    if (btnNext->isEnabled())
        btnNext->setFocus();
    else if (m_currentPage)
        m_currentPage->setFocus();
}

bool TMainForm::focusOnButtonBar() const
{
    const QWidget *focused = focusWidget();
    return focused == btnHelp || focused == btnBack || focused == btnNext || focused == btnCancel;
}

void TMainForm::ActionNextExecute()
{
    if (!m_currentFrame)
        return;
    m_wizardBusy = true;
    QWidget *const page = m_currentPage;
    UpdateButtons();
    auto done = [this, page] {
        m_wizardBusy = false;
        UpdateButtons();
        // A page that refused to go on may have put the focus on the field to correct.
        if (m_currentPage != page || focusOnButtonBar())
            focusNavigation();
    };
    try {
        if (m_currentFrame->NextClicked()) {
            if (m_currentFrame->AbortRequested()) {
                m_currentFrame = nullptr;
                close();
            } else if (const QMetaObject *next = m_currentFrame->NextPageClass()) {
                m_history.append(m_currentPage);
                ShowPageOfClass(next);
            } else {
                close();
            }
        }
    } catch (...) {
        done();
        throw;
    }
    done();
}

void TMainForm::ActionBackExecute()
{
    if (m_history.isEmpty())
        return;
    ShowPage(m_history.takeLast());
    focusNavigation();
}

void TMainForm::ActionHelpExecute()
{
    if (!m_helpDialog)
        return;
    // Shown, not executed: a nested event loop here would hold a run that waits underneath.
    m_helpDialog->show();
    m_helpDialog->raise();
    m_helpDialog->activateWindow();
}

void TMainForm::ActionNextUpdate()
{
    if (!m_currentFrame) {
        ActionNext->setEnabled(false);
        return;
    }
    ActionNext->setEnabled(m_currentFrame->CanGoNext() && !m_wizardBusy);
    ActionNext->setText(m_currentFrame->NextPageClass() ? kNextCaption : kFinishCaption);
}

void TMainForm::ActionBackUpdate()
{
    ActionBack->setEnabled(!m_history.isEmpty() && !m_wizardBusy && m_currentFrame && m_currentFrame->CanGoBack());
}

void TMainForm::btnCancelClick()
{
    close();
}

void TMainForm::reject()
{
    if (btnCancel->isVisibleTo(this) && btnCancel->isEnabled())
        btnCancelClick();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    // An error on the way leaves the window open.
    event->ignore();
    if (FormCloseQuery())
        event->accept();
}

bool TMainForm::FormCloseQuery()
{
    // Cutting the intermediate run short could leave the switch half-configured.
    if (CurrentPageClass() == &TFrameWorking::staticMetaObject) {
        Platform::showMessage(MessageKind::Warning, QStringLiteral("The wizard is in the middle of the process.\r\n"
                                                                   "Therefore it is not safe to quit now."));
        return false;
    }
    if (m_currentFrame && m_currentFrame->NextPageClass()) {
        const MessageAnswer answer = Platform::dialogs().message(
            MessageKind::Question,
            QStringLiteral("The wizard has not completed its work.\r\nAre you sure you want to quit?"),
            MessageButtons::YesNo);
        if (answer != MessageAnswer::Yes)
            return false;
    }
    m_operations->Disconnect();
    if (m_tftpHost)
        m_tftpHost->TftpServer->SetActive(false);
    return true;
}
