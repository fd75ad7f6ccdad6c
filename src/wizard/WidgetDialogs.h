#pragma once

#include "platform/Dialogs.h"

// A text as a message box shows it: "\n\r", "\r\n" and lone CR or LF are each one line break.
QString displayText(const QString &text);

// The operator's side of the real program: message boxes, file and folder choosers and the
// desktop's document viewer. Installs itself for its lifetime.
class TWidgetDialogs final : public Platform::IDialogs
{
public:
    TWidgetDialogs();
    ~TWidgetDialogs() override;
    Q_DISABLE_COPY_MOVE(TWidgetDialogs)

    Platform::MessageAnswer message(Platform::MessageKind kind, const QString &text,
                                    Platform::MessageButtons buttons) override;
    QString openFileName(const QString &initialPath, const QStringList &filters) override;
    QString chooseFolder(const QString &initialFolder) override;
    bool openDocument(const QString &path) override;
};
