#pragma once

#include <QHostAddress>
#include <QString>

namespace Platform {

// The IPv4 address a client should talk to: a dotted address as it is, otherwise the first
// IPv4 address the name resolves to. An empty text gives the null address. Raises
// ESocketError 11001 ("Host not found") when the name does not resolve.
QHostAddress resolveIPv4(const QString &host);

} // namespace Platform
