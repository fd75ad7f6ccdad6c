#include "wizard/HelpDlg.h"

#include "platform/Dialogs.h"
#include "platform/WorkingFolder.h"
#include "wizard/Captions.h"

#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Where the document lies, so the operator can open it another way.
QString noViewerText(const QString &path)
{
    return QStringLiteral("This computer has no program to open the help document with.\n"
                          "Open it with a PDF viewer yourself:\n") + QDir::toNativeSeparators(path);
}

} // namespace

TOKBottomDlg::TOKBottomDlg(QWidget *parent)
    : QDialog(parent), Bevel1(new QFrame(this)), OKBtn(new QPushButton(this)), CancelBtn(new QPushButton(this))
{
    setObjectName(QStringLiteral("OKBottomDlg"));
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    setCaption(OKBtn, QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    setCaption(CancelBtn, QStringLiteral("Cancel"));
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(Bevel1, 1);
    layout->addLayout(buttons);
}

TOKHelpBottomDlg::TOKHelpBottomDlg(QWidget *parent)
    : TOKBottomDlg(parent), Button1(new QPushButton(Bevel1)), Button2(new QPushButton(Bevel1)),
      Button3(new QPushButton(Bevel1))
{
    setObjectName(QStringLiteral("OKHelpBottomDlg"));
    setWindowTitle(QStringLiteral("Help Documents"));
    // Modal to the operator, but shown without an event loop of its own: a run goes on
    // underneath while the documents are read.
    setWindowModality(Qt::ApplicationModal);
    CancelBtn->hide();

    Button1->setObjectName(QStringLiteral("Button1"));
    setCaption(Button1, QStringLiteral("For instructions regarding upgrade procedure please consult this document"));
    Button2->setObjectName(QStringLiteral("Button2"));
    setCaption(Button2, QStringLiteral("For common troubleshooting scenarios consult this document "));
    Button3->setObjectName(QStringLiteral("Button3"));
    setCaption(Button3, QStringLiteral(" For post upgrade system impact consult this document"));

    // Narrow margins: the longest caption alone nearly fills the main window's width, and the
    // dialog that opens over it should be no wider.
    auto *layout = new QVBoxLayout(Bevel1);
    layout->setContentsMargins(8, 12, 8, 12);
    layout->setSpacing(10);
    for (QPushButton *button : {Button1, Button2, Button3}) {
        button->setAutoDefault(false);
        button->setMinimumHeight(32);
        layout->addWidget(button);
    }

    connect(Button1, &QPushButton::clicked, this, &TOKHelpBottomDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TOKHelpBottomDlg::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TOKHelpBottomDlg::Button3Click);
}

void TOKHelpBottomDlg::Button1Click()
{
    OpenDocument(Button1, QStringLiteral("Upgrade1.pdf"));
}

void TOKHelpBottomDlg::Button2Click()
{
    OpenDocument(Button2, QStringLiteral("Upgrade2.pdf"));
}

void TOKHelpBottomDlg::Button3Click()
{
    OpenDocument(Button3, QStringLiteral("Upgrade3.pdf"));
}

void TOKHelpBottomDlg::OpenDocument(QPushButton *button, const QString &document)
{
    button->setEnabled(false);
    const QString path = WorkingFolder() + document;
    if (!Platform::dialogs().openDocument(path)) {
        Platform::showMessage(Platform::MessageKind::Warning, noViewerText(path));
        button->setEnabled(true);
        return;
    }
    // Clicks within the next second find the button disabled and start no second viewer. A
    // timer, not a sleep: a run waits on this thread and must not be held.
    QTimer::singleShot(kReopenDelayMs, button, [button] { button->setEnabled(true); });
}
