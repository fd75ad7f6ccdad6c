#pragma once

#include <QString>

// The user's temporary folder followed by "Quillo", always ending in a separator, so that
// callers append bare file names. The payload, the images, the uploaded configuration and a
// copy of the log live there; it is the TFTP server's root.
QString WorkingFolder();

enum class FolderCheck { Private, NotCreated, NotPrivate };

// Makes folder the running user's own, creating it with owner-only permissions when it is
// missing. The temporary folder is shared, so a folder of that name that already exists may
// have been prepared by another user, with links planted in it for a wizard that runs as
// root: it is fit only when it is a real folder (not a link), owned by this user and
// writable by nobody else. For NotPrivate, reason says what is wrong with it.
FolderCheck makePrivateFolder(const QString &folder, QString &reason);
