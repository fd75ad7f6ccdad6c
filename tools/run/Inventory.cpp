#include "Inventory.h"

#include "Password.h"
#include "RunOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>

#include <optional>

namespace {

constexpr qsizetype kColumns = 5;

// The fields of one CSV line; nullopt when a quoted field is not closed.
std::optional<QStringList> csvFields(const QString &line)
{
    QStringList fields;
    qsizetype i = 0;
    for (;;) {
        QString field;
        // Blanks around a field are the file's layout, not part of a name or a path.
        while (i < line.size() && line[i] == u' ')
            ++i;
        if (i < line.size() && line[i] == u'"') {
            for (++i;; ++i) {
                if (i >= line.size())
                    return std::nullopt;
                if (line[i] == u'"') {
                    if (i + 1 < line.size() && line[i + 1] == u'"') {
                        field += u'"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i];
            }
            while (i < line.size() && line[i] != u',')
                ++i;
        } else {
            const qsizetype comma = line.indexOf(u',', i);
            const qsizetype end = comma < 0 ? line.size() : comma;
            field = line.mid(i, end - i).trimmed();
            i = end;
        }
        fields << field;
        if (i >= line.size())
            return fields;
        ++i; // the comma
    }
}

QString inFolder(const QString &folder, const QString &path)
{
    return QDir::cleanPath(QDir(folder).absoluteFilePath(path));
}

// The row's faults, each as "line N: ..."; entry is filled as far as the row allows.
QStringList checkRow(const QStringList &fields, const QString &folder, TInventoryEntry &entry)
{
    const QString line = QStringLiteral("line %1: ").arg(entry.Line);
    if (fields.size() != kColumns) {
        return {line + QStringLiteral("%1 fields where the header names %2 (%3).")
                           .arg(fields.size())
                           .arg(kColumns)
                           .arg(kInventoryHeader)};
    }
    QStringList errors;
    static const QStringList kNames = kInventoryHeader.split(u',');
    for (qsizetype column = 0; column < kColumns; ++column) {
        if (fields[column].isEmpty())
            errors << line + QStringLiteral("no %1.").arg(kNames[column]);
    }

    entry.Address = fields[0];
    if (!entry.Address.isEmpty() && !isIpv4Address(entry.Address)) {
        errors << line + QStringLiteral("the address %1 is not an IPv4 address such as 192.0.2.10.").arg(entry.Address);
    }
    entry.UserName = fields[1];
    if (!fields[2].isEmpty()) {
        const QString passwordFile = inFolder(folder, fields[2]);
        const TPasswordInput password = readPassword(passwordFile, entry.UserName, entry.Address);
        if (!password.Error.isEmpty())
            errors << line + password.Error;
        entry.Password = password.Password;
    }
    if (!fields[3].isEmpty()) {
        entry.BackupPath = inFolder(folder, fields[3]);
        const QString problem = backupFileProblem(entry.BackupPath);
        if (!problem.isEmpty())
            errors << line + QStringLiteral("the backup ") + entry.BackupPath + problem;
    }
    const QString mode = fields[4];
    if (!mode.isEmpty() && mode != QStringLiteral("default") && mode != QStringLiteral("dhcp"))
        errors << line + QStringLiteral("after_reset is default or dhcp, not \"%1\".").arg(mode);
    entry.DhcpAfterReset = mode == QStringLiteral("dhcp");
    return errors;
}

} // namespace

TInventory parseInventory(const QByteArray &text, const QString &folder)
{
    TInventory inventory;
    QString content = QString::fromUtf8(text);
    // Spreadsheets save CSV with a byte order mark.
    if (content.startsWith(QChar(0xfeff)))
        content.remove(0, 1);
    const QStringList lines = content.split(u'\n');

    bool headerSeen = false;
    // The line of the first row that named each address and each backup.
    QHash<quint32, int> addresses;
    QHash<QString, int> backups;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].endsWith(u'\r') ? lines[i].chopped(1) : lines[i];
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(u'#'))
            continue;
        const int number = int(i + 1);
        if (!headerSeen) {
            if (line.trimmed() != kInventoryHeader) {
                inventory.Errors << QStringLiteral("line %1: the header must read %2, not \"%3\".")
                                        .arg(number)
                                        .arg(kInventoryHeader, line.trimmed());
                return inventory;
            }
            headerSeen = true;
            continue;
        }
        const std::optional<QStringList> fields = csvFields(line);
        if (!fields) {
            inventory.Errors << QStringLiteral("line %1: a quoted field is not closed.").arg(number);
            continue;
        }
        TInventoryEntry entry;
        entry.Line = number;
        QStringList errors = checkRow(*fields, folder, entry);
        if (fields->size() == kColumns) {
            const QString at = QStringLiteral("line %1: ").arg(number);
            const quint32 address = QHostAddress(entry.Address).toIPv4Address();
            if (isIpv4Address(entry.Address)) {
                if (const int first = addresses.value(address); first != 0)
                    errors << at + QStringLiteral("the address %1 is on line %2 already.").arg(entry.Address).arg(first);
                else
                    addresses.insert(address, number);
            }
            if (!entry.BackupPath.isEmpty()) {
                if (const int first = backups.value(entry.BackupPath); first != 0) {
                    errors << at + QStringLiteral("the backup %1 is line %2's already; each switch needs a file of its own.")
                                       .arg(entry.BackupPath)
                                       .arg(first);
                } else {
                    backups.insert(entry.BackupPath, number);
                }
            }
        }
        if (errors.isEmpty())
            inventory.Switches << entry;
        inventory.Errors << errors;
    }
    if (!headerSeen)
        inventory.Errors << QStringLiteral("no header: the first line must read ") + kInventoryHeader + u'.';
    else if (inventory.Switches.isEmpty() && inventory.Errors.isEmpty())
        inventory.Errors << QStringLiteral("no switch: the inventory has a header and no row.");
    return inventory;
}

TInventory readInventory(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        TInventory unreadable;
        unreadable.Errors << QStringLiteral("the inventory %1 cannot be read: %2.").arg(path, file.errorString());
        return unreadable;
    }
    return parseInventory(file.readAll(), QFileInfo(path).absolutePath());
}
