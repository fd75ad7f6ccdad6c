#pragma once

#include "access/TelnetClient.h"

#include <QStringList>

// A blocking terminal over the telnet client, for the upgrade procedure's sequential
// dialogue with the switch: every wait runs on the calling (user-interface) thread and
// pumps its events between short sleeps, so socket notifications, TFTP hand-overs and the
// wizard's windows keep being served.
class TTelnet final : public TTelnetClient
{
    Q_OBJECT

public:
    explicit TTelnet(QObject *owner = nullptr);

    // What the switch printed since the list was last emptied, one entry per line; the last
    // entry is the line in progress, typically the prompt.
    QStringList Received;

    QString DutPromptInDebugMode;
    // The switch's command-line prompt; SendLineWaitForPrompt stops when it shows again.
    QString DutPromptInCliMode;
    // True while a loss of the connection is expected; read by the terminal's users only.
    bool CanDisconnect = true;
    // Set once the work of the terminal's user is to end: nothing more goes to the switch.
    bool SendingStopped = false;
    int SendLineTimeOut = 1000;
    int WaitForPromptTimeOut = 10000;
    int SendLinesDelay = 500;
    QStringList LoginToDebugModeSL;
    QStringList LoginToCliModeSL;
    // Description of the last connect or disconnect event.
    QString ConnectionStatusStr;

    // Copies everything but CanDisconnect from another terminal.
    void Assign(const TTelnet &source);
    void ClearReceived() { Received.clear(); }
    // Sends the text unchanged; the caller supplies its line end.
    void SendLine(const QString &text);
    void SendLineWaitForPrompt(const QString &text, int maxPolls);
    void Connect();
    void ConnectWait(int timeoutMs);
    bool IsConnected();
    void Delay(int ms);

private:
    void accumulate(const QByteArray &piece);
};
