#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The columns of an inventory file, as its header line names them.
inline const QString kInventoryHeader = QStringLiteral("address,user,password_file,backup,after_reset");

// One switch of an inventory file.
struct TInventoryEntry
{
    // The line it stands on, from 1.
    int Line = 0;
    QString Address;
    QString UserName;
    // Read from the row's password file: the inventory holds no passwords.
    QString Password;
    // Absolute.
    QString BackupPath;
    bool DhcpAfterReset = false;
};

struct TInventory
{
    QList<TInventoryEntry> Switches;
    // One text for each fault, naming its line ("line 4: ..."); no run starts while there is one.
    QStringList Errors;
};

// An inventory's text: CSV with the header kInventoryHeader, one switch a row; blank lines and
// lines that begin with # are skipped; a field may be quoted ("a, b" and "" for a quote).
// Relative paths (the password file, the backup) are taken from folder, the inventory's own.
// Every row is checked, so that the operator sees all faults at once: a missing field, an
// address that is not IPv4, an after_reset other than default or dhcp, a password file that
// cannot be read, a backup whose folder is missing or not writable, an address or a backup
// path that an earlier row has already.
TInventory parseInventory(const QByteArray &text, const QString &folder);

// The inventory file at path; a file that cannot be read is one error.
TInventory readInventory(const QString &path);
