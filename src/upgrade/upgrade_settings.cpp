#include "upgrade/upgrade_settings.h"

#include "access/TelnetSync.h"
#include "platform/Exceptions.h"
#include "platform/TextLines.h"
#include "upgrade/upgrade_device.h"

#include <optional>

namespace {

const QString kBootCommand = QStringLiteral("boot system image-%1\n");
const QString kTableRule = QStringLiteral(" ---------");

// The row after the dashed line at index rule: its first column, when the row has one that
// ends in a run of three blanks after its fifth character, and whether it was learned by DHCP.
struct TTableRow
{
    QString FirstColumn;
    bool Dhcp = false;
};
std::optional<TTableRow> rowAfterRule(const QStringList &lines, qsizetype rule)
{
    if (!lines[rule].contains(kTableRule) || rule + 1 >= lines.size())
        return std::nullopt;
    const QString &row = lines[rule + 1];
    // Positions count from 1, as the switch's columns are measured: the column ends with the
    // first blank of the run, which it keeps.
    const qsizetype end = row.indexOf(QStringLiteral("   ")) + 1;
    if (end <= 4)
        return std::nullopt;
    return TTableRow{row.left(end), row.toUpper().indexOf(QStringLiteral("DHCP")) > 0};
}

// "ip address" takes the address and the prefix length apart: a blank goes before the "/",
// or in front when there is none.
QString withBlankBeforePrefix(QString value)
{
    value.insert(std::max<qsizetype>(value.indexOf(u'/'), 0), u' ');
    return value;
}

} // namespace

int countStackUnits(const QStringList &lines)
{
    return int(std::count_if(lines.begin(), lines.end(), [](const QString &line) {
        return !Platform::trimmedText(line).isEmpty() && !line.contains(QStringLiteral("-------------"))
            && !line.contains(QStringLiteral("version")) && !line.contains(u'#');
    }));
}

// The address table is the last of the answer, so it is looked for from the end; the gateway
// table is the first.
TIpSettings findIpSettings(const QStringList &lines)
{
    TIpSettings settings;
    const bool usable = lines.size() > 5 && std::any_of(lines.begin(), lines.begin() + 5, [](const QString &line) {
        return line.indexOf(QStringLiteral("Gateway")) > 0;
    });
    if (!usable)
        return settings;
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const std::optional<TTableRow> row = rowAfterRule(lines, i);
        if (!row)
            continue;
        if (row->Dhcp) {
            settings.Address = withBlankBeforePrefix(row->FirstColumn);
            break;
        }
        settings.Reports << QStringLiteral("IpAddress is static");
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<TTableRow> row = rowAfterRule(lines, i);
        if (!row)
            continue;
        if (row->Dhcp) {
            settings.Gateway = withBlankBeforePrefix(row->FirstColumn);
            break;
        }
        settings.Reports << QStringLiteral("no deafualt gateway DHCP");
    }
    return settings;
}

QStringList keepIpCommands(const TIpSettings &settings)
{
    QStringList commands;
    if (settings.Address.size() > 5) {
        commands << QStringLiteral("configure\n") << QStringLiteral("interface vlan 100\n")
                 << QStringLiteral("ip address ") + settings.Address + QStringLiteral("\n") << QStringLiteral("exit\n");
    }
    if (settings.Gateway.size() > 5)
        commands << QStringLiteral("ip default-gateway ") + settings.Gateway + QStringLiteral("\n") << QStringLiteral("exit\n");
    return commands;
}

QString bootOtherImageCommand(int activeImage)
{
    return kBootCommand.arg(activeImage == 1 ? 2 : 1);
}

void TTelnetOperations::EnableSnmpAccess(const TProgressEvent &OnProgress)
{
    Telnet->ClearReceived();
    Telnet->SendLine(QStringLiteral("configure\n"));
    Telnet->SendLine(QStringLiteral("snmp-server community vemtal su\n"));
    Telnet->SendLine(QStringLiteral("logging console critical\n"));
    Telnet->SendLine(QStringLiteral("exit\n"));
    OnProgress(this, Platform::linesText(Telnet->Received));
    Telnet->ClearReceived();
}

void TTelnetOperations::SaveUnitCount(const TProgressEvent &OnProgress)
{
    Telnet->ClearReceived();
    int count = 0;
    QString contact = QStringLiteral("0");
    if (IsStack) {
        // Without a unit: the answer lists every unit of the stack.
        Telnet->SendLineWaitForPrompt(QStringLiteral("show version \n"), kPromptPolls);
        OnProgress(this, Platform::linesText(Telnet->Received));
        count = countStackUnits(Telnet->Received);
        UnitVersions = parseUnitVersions(Telnet->Received);
        contact = QString::number(count);
    }
    if (DhcpAfterReset)
        contact += u',';
    StackUnitCount = count;
    Telnet->SendLine(QStringLiteral("configure\n"));
    Telnet->SendLine(QStringLiteral("snmp-server contact ") + contact + QStringLiteral("\n"));
    Telnet->SendLine(QStringLiteral("exit\n"));
    Trace(QStringLiteral("snmp-server contact ") + contact, QString());
    Telnet->ClearReceived();
}

void TTelnetOperations::SaveIPAndLocation(const TProgressEvent &OnProgress)
{
    Telnet->ClearReceived();
    Telnet->SendLine(QStringLiteral("configure\n"));
    Telnet->SendLine(QStringLiteral("snmp-server location ") + Telnet->LocalHost() + QStringLiteral("\n"));
    Telnet->SendLine(QStringLiteral("snmp-server community vemtal su  \n"));
    Trace(QStringLiteral("Trace : snmp-server location "), Telnet->LocalHost());
    Telnet->SendLine(QStringLiteral("exit\n"));
    KeepIPSettings(OnProgress);
    Telnet->SendLine(QStringLiteral("copy run star\n"));
    Pause(4000);
    Trace(QStringLiteral("Trace: SaveIPAndLocation"), QString());
    OnProgress(this, Platform::linesText(Telnet->Received));
    Trace(QStringLiteral("Trace: End of SaveIPAndLocation"), QString());
    Telnet->ClearReceived();
}

void TTelnetOperations::KeepIPSettings(const TProgressEvent &OnProgress)
{
    Telnet->ClearReceived();
    Telnet->SendLineWaitForPrompt(QStringLiteral("show ip interface \n"), kPromptPolls);
    const TIpSettings settings = findIpSettings(Telnet->Received);
    for (const QString &report : settings.Reports)
        OnProgress(this, report);
    for (const QString &command : keepIpCommands(settings))
        Telnet->SendLine(command);
    Trace(Platform::linesText(Telnet->Received), QString());
    Telnet->ClearReceived();
}

void TTelnetOperations::SwitchToOtherImage(const TProgressEvent &OnProgress)
{
    const QString command = bootOtherImageCommand(ActiveImage);
    Trace(QStringLiteral("Trace: SwitchToOtherImage"), command);
    Pause(1000);
    Telnet->SendLineWaitForPrompt(command, kPromptPolls);
    Pause(1000);
    Telnet->SendLineWaitForPrompt(command, kPromptPolls);
    Pause(1000);
    Trace(QStringLiteral("Trace: After SwitchToOtherImage"), command);
    OnProgress(this, QStringLiteral("Switching To Other Image...") + command);
    Pause(2500);
}

bool TTelnetOperations::WaitForDevice(int N)
{
    if (Telnet->IsConnected())
        return true;
    if (Telnet->RemoteHost().isEmpty())
        Telnet->SetRemoteHost(DeviceAddress);
    Telnet->ConnectWait(N);
    for (int i = 1; i <= N; ++i) {
        Pause(1000);
        if (i % 10 == 0) {
            Telnet->ConnectWait(N);
            Trace(QStringLiteral("Trying to connect"), QStringLiteral("---------"));
        }
        if (Telnet->IsConnected())
            break;
    }
    return Telnet->Connected();
}

// A switch that reloads closes the session, and it may do so before the terminal has seen
// its last text taken: the send then finds the connection gone, which is what a reload is
// expected to do, not a failure of the run.
void TTelnetOperations::sendAsTheSwitchGoesDown(const QString &text)
{
    try {
        Telnet->SendLine(text);
    } catch (const ESocketError &) {
    }
}

void TTelnetOperations::ResetDevice(const TProgressEvent &OnProgress)
{
    Telnet->CanDisconnect = true;
    ResetStarted = true;
    if (WaitForDevice(300)) {
        OnProgress(this, QStringLiteral("Resetting the device...."));
        if (IsStack) {
            sendAsTheSwitchGoesDown(QStringLiteral("stack reload\n"));
        } else {
            // The switch asks twice whether it is to reload.
            sendAsTheSwitchGoesDown(QStringLiteral("reload\n"));
            Pause(1000);
            sendAsTheSwitchGoesDown(QStringLiteral("Y\n"));
            Pause(1000);
            sendAsTheSwitchGoesDown(QStringLiteral("Y\n"));
        }
        Pause(1000);
        Telnet->SetConnected(false);
        Trace(QStringLiteral("reseting device..."), QStringLiteral("--------"));
        OnProgress(this, QStringLiteral("Waiting for a minute before polling...."));
        Pause(25000);
        Pause(45000);
        if (!StackUnit.isEmpty()) {
            OnProgress(this, QStringLiteral("Waiting for another 2 minutes for stack device before polling...."));
            Pause(120000);
        }
        OnProgress(this, QStringLiteral("Trying to connect to device ....."));
    } else {
        Trace(QStringLiteral("Device did not answer for 5 minutes...no reset yet..."), QStringLiteral("Hmmmmmm"));
    }
    for (int attempt = 1; attempt <= 5; ++attempt) {
        if (WaitForDevice(400)) {
            if (Login()) {
                Trace(QStringLiteral("Device Returned from Reset OK......."), QStringLiteral("---------"));
                OnProgress(this, QStringLiteral("Device returned from it's reset...."));
            } else {
                Trace(QStringLiteral("Device did not return ..."), QStringLiteral("---------"));
                Trace(QStringLiteral("Device was not found , Smth is wied....will try again!!!"), QStringLiteral("---------"));
            }
        }
        if (GatherInformation(OnProgress))
            break;
        Telnet->CanDisconnect = true;
        Telnet->SetConnected(false);
        Trace(QStringLiteral("Waiting for anothe 25 seconds as it seems it it not our Master..."), QStringLiteral("---------"));
        Pause(25000);
    }
    Telnet->CanDisconnect = false;
}
