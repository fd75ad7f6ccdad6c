#include "platform/HostAddress.h"

#include "platform/Exceptions.h"
#include "platform/SocketErrors.h"

#include <QHostInfo>

namespace Platform {

QHostAddress resolveIPv4(const QString &host)
{
    QHostAddress address;
    if (host.isEmpty() || address.setAddress(host))
        return address;
    const auto addresses = QHostInfo::fromName(host).addresses();
    const auto ipv4 = std::find_if(addresses.begin(), addresses.end(), [](const QHostAddress &a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    if (ipv4 == addresses.end())
        throw ESocketError(WsaHostNotFound, socketErrorText(WsaHostNotFound));
    return *ipv4;
}

} // namespace Platform
