#include "wizard/WidgetDialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

using namespace Platform;

namespace {

QMessageBox::Icon IconOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Plain: return QMessageBox::NoIcon;
    case MessageKind::Information: return QMessageBox::Information;
    case MessageKind::Warning: return QMessageBox::Warning;
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// Boxes and choosers belong to the window the operator is working in.
QWidget *Owner()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

} // namespace

QString displayText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            shown += c;
            continue;
        }
        const QChar partner = c == u'\r' ? u'\n' : u'\r';
        if (i + 1 < text.size() && text[i + 1] == partner)
            ++i;
        shown += u'\n';
    }
    return shown;
}

TWidgetDialogs::TWidgetDialogs()
{
    setDialogs(this);
}

TWidgetDialogs::~TWidgetDialogs()
{
    setDialogs(nullptr);
}

MessageAnswer TWidgetDialogs::message(MessageKind kind, const QString &text, MessageButtons buttons)
{
    const bool question = buttons == MessageButtons::YesNo;
    QMessageBox box(IconOf(kind), QGuiApplication::applicationDisplayName(), displayText(text),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, Owner());
    const int answer = box.exec();
    if (!question)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

QString TWidgetDialogs::openFileName(const QString &initialPath, const QStringList &filters)
{
    // The chosen name may be one that does not exist yet: the device page asks where the
    // switch's configuration is to be saved.
    QFileDialog dialog(Owner());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.selectFile(initialPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QString TWidgetDialogs::chooseFolder(const QString &initialFolder)
{
    return QFileDialog::getExistingDirectory(Owner(), QString(), initialFolder);
}

bool TWidgetDialogs::openDocument(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
