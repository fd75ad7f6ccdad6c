#pragma once

#include <QString>

#include <optional>

namespace Platform {

// A process that holds a socket: its name as the system lists it, and its id.
struct PortHolder
{
    QString program;
    qint64 pid = 0;
};

// The process holding a UDP socket bound to port on any local address, IPv4 or IPv6, as far
// as the system says: nothing when no socket is bound there, where the system keeps no such
// table (only Linux has /proc/net/udp), or when the holder's descriptors may not be read (a
// process of another user, for a program without root).
std::optional<PortHolder> udpPortHolder(quint16 port);

} // namespace Platform
