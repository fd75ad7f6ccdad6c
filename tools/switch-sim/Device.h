#pragma once

#include "Scenario.h"
#include "StateFolder.h"
#include "Transcript.h"

#include <QJsonObject>
#include <QMap>
#include <QObject>

// The settings that the command line and SNMP change. The running one is lost at a reset
// unless "copy run star" saved it as the start-up one.
struct Configuration
{
    QByteArray systemName;
    QByteArray contact;
    QByteArray location;
    QByteArray consoleLogging;                // severity of "logging console"; empty: the default
    QMap<QByteArray, QByteArray> communities; // SNMP community -> "ro", "rw" or "su"
    QByteArray address;                       // "A.B.C.D/N" set by hand; empty: none
    QByteArray gateway;                       // "A.B.C.D" set by hand; empty: none
};

// The simulated switch itself: what the scenario fixed and what the wizard changes while it
// works. Telnet sessions, the SNMP agent and the intermediate image share one device; the
// Lifecycle takes it through its resets.
class Device final : public QObject
{
    Q_OBJECT

public:
    explicit Device(const Scenario &scenario, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(Device)

    const Scenario &scenario() const { return m_scenario; }
    Transcript &transcript() { return m_transcript; }
    void record(const QJsonObject &event) { m_state.record(event); }
    void keep(const QString &name, const QByteArray &bytes) { m_state.write(name, bytes); }

    QByteArray description() const { return m_scenario.typeName.toLatin1() + " Ethernet Switch"; }

    // Every change of the running configuration goes through here, so that whoever waits for
    // a setting (the intermediate image) hears of it.
    Configuration &running() { return m_running; }
    const Configuration &running() const { return m_running; }
    void configurationChanged();
    void saveConfiguration();
    // The running configuration as the switch uploads it.
    QByteArray configurationText() const;
    // The SNMP access a community has: empty when the configuration does not know it.
    QByteArray communityAccess(const QByteArray &community) const { return m_running.communities.value(community); }

    // The rows of "show ip interface": a setting by hand wins over what DHCP gave.
    AddressRow interfaceRow() const;
    AddressRow gatewayRow() const;

    QString runningVersion() const { return m_runningVersion; }
    int activeSlot() const { return m_activeSlot; }
    int nextSlot() const { return m_nextSlot; }
    void selectNextSlot(int slot) { m_nextSlot = slot; }
    // Where a downloaded image goes: the slot that does not run.
    int inactiveSlot() const { return m_scenario.oneImage ? 1 : 3 - m_activeSlot; }
    // Received bytes are an image when they equal the payload's file of that name (any bytes
    // are, without a payload).
    bool isImage(const QString &name, const QByteArray &bytes) const;
    // The slot then reports the intermediate version when the name says "interim", else the
    // final one; it runs from the next boot of that slot on.
    void storeImage(int slot, const QString &name, const QByteArray &bytes);

    // One file copy at a time, on every session.
    bool copyBusy = false;
    // Set by the intermediate image's fault: its SNMP agent reads but never answers.
    bool snmpMuted = false;

    // Asks for a reset; it happens once the caller has returned.
    void requestReset(const QString &reason);
    // What a reset ends with: the start-up configuration runs, from the slot selected for
    // the next boot (or the old one, when the scenario makes the switch reject it).
    void boot();

signals:
    void runningConfigurationChanged();
    // An SNMP set wrote sysContact.
    void contactWrittenBySnmp();
    // An SNMP get read sysContact.
    void contactReadBySnmp();
    void resetRequested(const QString &reason);

private:
    void recordBoot();

    Scenario m_scenario;
    Transcript m_transcript;
    StateFolder m_state;
    Configuration m_running;
    Configuration m_startup;
    QString m_slotVersions[2];
    QString m_runningVersion;
    int m_activeSlot;
    int m_nextSlot;
};
