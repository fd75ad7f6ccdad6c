#include "platform/Dialogs.h"

#include <cstdio>

namespace Platform {
namespace {

class StderrDialogs final : public IDialogs
{
public:
    MessageAnswer message(MessageKind, const QString &text, MessageButtons buttons) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    QString openFileName(const QString &, const QStringList &) override { return {}; }
    QString chooseFolder(const QString &) override { return {}; }
    bool openDocument(const QString &) override { return false; }
};

IDialogs *g_installed = nullptr;

} // namespace

IDialogs &dialogs()
{
    static StderrDialogs fallback;
    return g_installed ? *g_installed : fallback;
}

void setDialogs(IDialogs *implementation)
{
    g_installed = implementation;
}

void showMessage(MessageKind kind, const QString &text)
{
    dialogs().message(kind, text, MessageButtons::Ok);
}

} // namespace Platform
