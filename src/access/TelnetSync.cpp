#include "access/TelnetSync.h"

#include "platform/Clock.h"
#include "platform/MessagePump.h"
#include "platform/TextLines.h"

#include <limits>

TTelnet::TTelnet(QObject *owner) : TTelnetClient(owner)
{
    OnDataIn = [this](const QByteArray &text) { accumulate(text); };
    OnConnected = [this](int, const QString &description) { ConnectionStatusStr = description; };
    OnDisconnected = [this](int, const QString &description) { ConnectionStatusStr = description; };
}

void TTelnet::Assign(const TTelnet &source)
{
    Received = source.Received;
    LoginToCliModeSL = source.LoginToCliModeSL;
    LoginToDebugModeSL = source.LoginToDebugModeSL;
    SetRemoteHost(source.RemoteHost());
    DutPromptInCliMode = source.DutPromptInCliMode;
    DutPromptInDebugMode = source.DutPromptInDebugMode;
    SendLineTimeOut = source.SendLineTimeOut;
    WaitForPromptTimeOut = source.WaitForPromptTimeOut;
    SendLinesDelay = source.SendLinesDelay;
    ConnectionStatusStr = source.ConnectionStatusStr;
}

// A piece continues the line in progress instead of starting a new one: the line break that
// the list's text puts after its last entry is removed before the piece is appended. A bare
// two-character line break is doubled so that one break survives.
void TTelnet::accumulate(const QByteArray &piece)
{
    QString text = QString::fromLatin1(piece);
    if (text.size() == 2 && text.contains(u'\n'))
        text += QStringLiteral("\r\n");
    QString whole = Platform::linesText(Received);
    whole.chop(2);
    Received = Platform::textLines(whole + text);
}

void TTelnet::Delay(int ms)
{
    Platform::pumpingWait(ms / 10, 10);
}

void TTelnet::SendLine(const QString &text)
{
    if (SendingStopped)
        return;
    const QByteArray bytes = text.toLatin1();
    int attempts = std::max(200, SendLineTimeOut) / 200;
    do {
        Send(bytes);
        --attempts;
        Delay(200);
        PumpOneMessage();
    } while (BytesSent() != bytes.size() && attempts > 0);
    Delay(SendLinesDelay);
}

void TTelnet::SendLineWaitForPrompt(const QString &text, int maxPolls)
{
    QString lastLine;
    Received.clear();
    SendLine(text);
    Delay(200);
    if (!Received.isEmpty())
        lastLine = Received.last();
    int polls = 0;
    // The prompt as the log-in stored it, also where the switch redraws it after erasing the
    // line: each command would otherwise wait its whole poll budget.
    while (Platform::promptText(lastLine) != DutPromptInCliMode) {
        PumpOneMessage();
        Delay(100);
        if (++polls > maxPolls)
            return;
        if (!Received.isEmpty())
            lastLine = Received.last();
        // From the fourth poll on, a prompt followed by exactly one more character (an echo,
        // a stray blank) also ends the wait.
        if (polls >= 4) {
            const qsizetype p = DutPromptInCliMode.isEmpty() ? 0 : lastLine.indexOf(DutPromptInCliMode) + 1;
            if (p + DutPromptInCliMode.size() == lastLine.size())
                return;
        }
    }
}

void TTelnet::Connect()
{
    SetConnected(false);
    ConnectionStatusStr.clear();
    SetConnected(true);
    Platform::pumpingWait(1000, 5, [this] { return Connected(); });
}

void TTelnet::ConnectWait(int timeoutMs)
{
    Connect();
    if (timeoutMs == 0)
        return;
    const quint32 start = Platform::tickCount();
    Platform::pumpingWait(std::numeric_limits<int>::max(), 100, [&] {
        return Connected() || Platform::tickCount() - start >= quint32(timeoutMs);
    });
}

bool TTelnet::IsConnected()
{
    PumpOneMessage();
    const bool connected = Connected();
    PumpOneMessage();
    return connected;
}
