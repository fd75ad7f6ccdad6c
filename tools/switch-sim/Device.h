#pragma once

#include "Scenario.h"
#include "Transcript.h"

// The simulated switch itself: what the scenario fixed and what the wizard changes while it
// works. Telnet sessions and the SNMP agent share one device.
class Device final
{
public:
    explicit Device(const Scenario &scenario)
        : m_scenario(scenario), m_transcript(scenario.transcriptPath), systemName(scenario.systemName.toLatin1()),
          location(scenario.location.toLatin1()), contact(scenario.contact.toLatin1())
    {
    }
    Q_DISABLE_COPY_MOVE(Device)

    const Scenario &scenario() const { return m_scenario; }
    Transcript &transcript() { return m_transcript; }

    // The prompt of the line-mode interface, without the erase-line sequence before it.
    QByteArray prompt() const { return m_scenario.hostName.toLatin1() + '#'; }
    QByteArray description() const { return m_scenario.typeName.toLatin1() + " Ethernet Switch"; }

private:
    Scenario m_scenario;
    Transcript m_transcript;

public:
    // The writable part of the system group; the command line and SNMP change the same values.
    QByteArray systemName;
    QByteArray location;
    QByteArray contact;
};
