#pragma once

#include <QString>
#include <QStringList>

// The pieces of the settings, image switch and reset (TTelnetOperations::EnableSnmpAccess,
// SaveUnitCount, SaveIPAndLocation, KeepIPSettings, SwitchToOtherImage, ResetDevice) that need
// no switch.

// The number of units in a stack's "show version " answer: its lines that are not blank and
// hold none of "-------------" (13 dashes), "version" and "#".
int countStackUnits(const QStringList &lines);

// What a "show ip interface " answer says of the addresses learned by DHCP, as the switch is
// to keep them: the interface address and the default gateway (each as "ip address" and
// "ip default-gateway" take it, empty when none was learned by DHCP), and the reports made
// while looking, in order.
struct TIpSettings
{
    QString Address;
    QString Gateway;
    QStringList Reports;
};
TIpSettings findIpSettings(const QStringList &lines);
// The commands that keep them: the address inside "interface vlan 100" when one was found
// (longer than 5 characters), then the gateway. The gateway's "exit" leaves the configuration
// mode that the address entered; a gateway alone is sent without "configure".
QStringList keepIpCommands(const TIpSettings &settings);

// "boot system image-N\n" for the slot that does not run now (slot 1 when the active one is
// unknown).
QString bootOtherImageCommand(int activeImage);
