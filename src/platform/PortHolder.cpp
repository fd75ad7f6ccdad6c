#include "platform/PortHolder.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>

#include <dirent.h>
#include <unistd.h>

#include <memory>

namespace Platform {

namespace {

// The inodes of the sockets whose local port is port, from a table laid out as
// /proc/net/udp: a line of titles, then per socket "sl local_address rem_address st
// tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ...", addresses as HEX:PORT.
QByteArrayList socketInodes(const QString &table, quint16 port)
{
    QFile file(table);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // readAll: the system gives these files no size, so reading stops only at their end.
    QByteArrayList lines = file.readAll().split('\n');
    QByteArrayList inodes;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArrayList fields = lines[i].simplified().split(' ');
        if (fields.size() < 10)
            continue;
        const QByteArray &local = fields[1];
        bool ok = false;
        const uint localPort = local.mid(local.lastIndexOf(':') + 1).toUInt(&ok, 16);
        if (ok && localPort == port && fields[9] != "0")
            inodes << fields[9];
    }
    return inodes;
}

// Whether one of the process's open descriptors is one of the sockets.
bool holdsSocket(const QByteArray &pid, const QByteArrayList &links)
{
    const QByteArray folder = "/proc/" + pid + "/fd";
    const std::unique_ptr<DIR, int (*)(DIR *)> descriptors(::opendir(folder.constData()), ::closedir);
    if (!descriptors)
        return false;
    char target[64];
    while (const dirent *entry = ::readdir(descriptors.get())) {
        const QByteArray path = folder + '/' + entry->d_name;
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        if (length > 0 && links.contains(QByteArray(target, length)))
            return true;
    }
    return false;
}

} // namespace

std::optional<PortHolder> udpPortHolder(quint16 port)
{
    QByteArrayList links;
    for (const QString &table : {QStringLiteral("/proc/net/udp"), QStringLiteral("/proc/net/udp6")}) {
        for (const QByteArray &inode : socketInodes(table, port))
            links << "socket:[" + inode + ']';
    }
    if (links.isEmpty())
        return std::nullopt;
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &process : processes) {
        bool numeric = false;
        const qint64 pid = process.toLongLong(&numeric);
        if (!numeric || !holdsSocket(process.toLatin1(), links))
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        return PortHolder{QString::fromLocal8Bit(comm.readAll().trimmed()), pid};
    }
    return std::nullopt;
}

} // namespace Platform
