#include "upgrade/upgrade_device.h"

#include "access/TelnetSync.h"
#include "platform/Dialogs.h"
#include "platform/Events.h"
#include "platform/Exceptions.h"
#include "platform/Terminate.h"
#include "platform/TextLines.h"
#include "platform/WorkingFolder.h"

using Platform::MessageKind;

namespace {

// Pauses from this length on get a countdown in the views that show one.
constexpr int kLongPauseMs = 10000;

} // namespace

TTelnetOperations::TTelnetOperations(QObject *owner)
    : QObject(owner), Telnet(new TTelnet(this)), ImageTable(WorkingFolder() + QStringLiteral("private.ini")),
      OnMessage(Platform::showMessage), OnEndRequested(Platform::requestTerminate)
{
}

TTelnetOperations::~TTelnetOperations() = default;

void TTelnetOperations::Pause(int ms)
{
    if (ms >= kLongPauseMs)
        Platform::emitIfSet(OnLongPause, ms);
    Telnet->Delay(ms);
    if (!Telnet->Connected() && !Telnet->CanDisconnect) {
        tell(MessageKind::Error, QStringLiteral("Telnet is closed , application will now terminat."));
        RequestEnd();
        throw Exception(QStringLiteral("Telnet conection is closed"));
    }
}

void TTelnetOperations::RequestEnd()
{
    Telnet->SendingStopped = true;
    if (!std::exchange(m_endRequested, true))
        Platform::emitIfSet(OnEndRequested);
}

void TTelnetOperations::tell(MessageKind kind, const QString &text)
{
    Platform::emitIfSet(OnMessage, kind, text);
}

void TTelnetOperations::Trace(const QString &text, const QString &detail)
{
    Log << text + QStringLiteral("--") + detail;
}

void TTelnetOperations::Disconnect()
{
    Telnet->SetConnected(false);
}

void TTelnetOperations::abandon(const QString &warning)
{
    tell(MessageKind::Warning, warning);
    Telnet->SetConnected(false);
    RequestEnd();
    throw Exception(kShouldTerminate);
}

bool TTelnetOperations::Login()
{
    bool result = true;
    try {
        if (Telnet->RemoteHost().isEmpty())
            Telnet->SetRemoteHost(DeviceAddress);
        if (!Telnet->Connected())
            Telnet->ConnectWait(10000);
        Pause(2000);
        LocalAddress = Telnet->LocalHost();

        // The menu form: user name, tab, password, then carriage return submits it.
        Telnet->SendLine(UserName + QStringLiteral("\t"));
        if (!Password.isEmpty())
            Telnet->SendLine(Password);
        Pause(500);
        Telnet->SendLine(QStringLiteral("\r"));
        Pause(500);
        for (const QString &line : std::as_const(Telnet->Received)) {
            if (line.contains(QStringLiteral("Bad user")))
                abandon(QStringLiteral("Username or pssword is incorrect\n\rApplication will terminate."));
        }

        // Control-Z leaves the form; "lcli" enters the line-mode interface, which asks again.
        Telnet->ClearReceived();
        Telnet->SendLine(QString(QChar(26)));
        Pause(300);
        Telnet->SendLine(QStringLiteral("lcli\r"));
        Pause(2000);
        Telnet->SendLine(UserName + QStringLiteral("\r"));
        if (!Password.isEmpty())
            Telnet->SendLine(Password + QStringLiteral("\r"));

        // Two bare line feeds make the interface print its prompt as the last line.
        Telnet->ClearReceived();
        Telnet->SendLine(QStringLiteral("\n"));
        Pause(100);
        Telnet->SendLine(QStringLiteral("\n"));
        Pause(300);
        if (Telnet->Received.isEmpty())
            abandon(QStringLiteral("Something is wrong with the telnet buffer\n\rApplication will terminate"));

        Telnet->DutPromptInCliMode = Platform::promptText(Telnet->Received.last());
        result = !Telnet->DutPromptInCliMode.isEmpty();

        ShowStack();
        Telnet->CanDisconnect = false;
    } catch (const std::exception &) {
        result = false;
    }
    return result;
}
