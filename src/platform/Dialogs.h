#pragma once

#include <QString>
#include <QStringList>

// The operator's side of the program: modal message boxes, the file and folder choosers
// and the shell's "open". The product installs a widget implementation at start-up; tests
// install a scripted one that records every call and answers as told.
namespace Platform {

enum class MessageKind { Plain, Information, Warning, Error, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class IDialogs
{
public:
    virtual ~IDialogs() = default;

    // Texts arrive exactly as the program words them ("\n\r" and "\r\n" are line breaks).
    virtual MessageAnswer message(MessageKind kind, const QString &text, MessageButtons buttons) = 0;
    // Empty when the operator cancels. Filters are "description (*.ext)" entries.
    virtual QString openFileName(const QString &initialPath, const QStringList &filters) = 0;
    // Empty when the operator cancels; the operator may type and create a new folder.
    virtual QString chooseFolder(const QString &initialFolder) = 0;
    // Hands a document to the desktop's viewer. False when the platform has nothing to open
    // it with; whether the viewer then shows it is not reported.
    virtual bool openDocument(const QString &path) = 0;
};

// The installed implementation; before any is installed, one that writes to stderr and
// takes the first button.
IDialogs &dialogs();
// Not owned; nullptr restores the stderr fallback.
void setDialogs(IDialogs *implementation);

// Shorthand for the common OK boxes.
void showMessage(MessageKind kind, const QString &text);

} // namespace Platform
