#include "app/DisplayGuard.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

QList<HeldMessage> g_held;

constexpr char kNoDisplay[] = "tessaro: no display to open its window on: it needs a graphical session (X11 or "
                              "Wayland); without one, run it under a virtual display: xvfb-run -a tessaro\n";

void holdMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    // The only fatal message while the application object is made is the failed platform
    // plugin; nothing has been started yet that needs ending.
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::_Exit(EXIT_FAILURE);
    }
    g_held.append({type, QByteArray(context.category), text});
}

} // namespace

TDisplayGuard::TDisplayGuard() : m_previous(qInstallMessageHandler(holdMessage))
{
}

TDisplayGuard::~TDisplayGuard()
{
    connected();
}

void TDisplayGuard::connected()
{
    if (!m_previous)
        return;
    qInstallMessageHandler(m_previous);
    for (const HeldMessage &message : std::as_const(g_held)) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        m_previous(message.type, context, message.text);
    }
    g_held.clear();
    m_previous = nullptr;
}
