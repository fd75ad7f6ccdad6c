#pragma once

#include "PeerProcess.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

// The simulated switch as a peer process: started on a loopback address with the given
// scenario arguments and system-chosen ports (the same across its resets), stopped when the
// fixture goes. Its state folder lies in the fixture's temporary folder.
class SwitchSim final
{
public:
    explicit SwitchSim(const QStringList &scenario = {}, const QString &address = QStringLiteral("127.0.0.2"));
    Q_DISABLE_COPY_MOVE(SwitchSim)

    // Starts the program and waits until it has printed its ports; false with errorString().
    bool start();
    QString errorString() const { return m_error; }

    QString address() const { return m_address; }
    quint16 port(const QString &service) const { return m_ports.value(service); }
    // Every byte the switch received so far, in order, across connections and resets.
    QByteArray transcript() const;

    // A file of the state folder, empty when the switch has not written it.
    QByteArray stateFile(const QString &name) const;
    // The bytes an image slot (1 or 2) received; empty while it holds what it started with.
    QByteArray slotImage(int slot) const { return stateFile(QStringLiteral("slot-%1.img").arg(slot)); }
    // The start-up configuration as the switch would upload it.
    QByteArray startupConfig() const { return stateFile(QStringLiteral("startup-config.txt")); }
    // What the last upload of that file sent.
    QByteArray sent(const QString &fileName) const { return stateFile(QStringLiteral("sent-") + fileName); }

    // What happened so far, in order: every event, or those whose "event" is name. Names:
    // boot (slot, version), reset (reason), config-saved, copy (direction, file, server,
    // result, bytes, slot, error), self-upgrade (units, dhcp, server), step (text), acknowledged.
    QList<QJsonObject> events(const QString &name = {}) const;
    // Waits, processing events, until count events of that name have happened; false after
    // timeoutMs.
    bool waitForEvents(const QString &name, qsizetype count = 1, int timeoutMs = 20000) const;

private:
    QStringList m_arguments;
    QString m_address;
    QTemporaryDir m_dir;
    PeerProcess m_peer;
    QMap<QString, quint16> m_ports;
    QString m_error;
};
