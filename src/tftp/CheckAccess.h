#pragma once

#include <QString>

// Whether a TFTP client's requested name lies inside rootFolder. The name may hold folders,
// ".." and separators; it is expanded against the root (an absolute name stays absolute)
// and replaced by the expanded path, granted or not, so that the caller opens and logs the
// file that was actually checked. A sibling folder whose name merely begins with the root's
// name is outside. Names compare the way the platform's file system does: with regard to
// letter case on Linux, where "/tmp/QUILLO" is another folder than "/tmp/Quillo".
// Links are followed: the name is granted only when its real location, and that of a file
// it would create, lies inside the root's real location, so a link inside the root leads
// nowhere outside it. A name that holds control characters is refused.
bool CheckAccess(QString &requestedName, const QString &rootFolder);
// Whether two names that CheckAccess expanded name the same file, letter case counting as
// it does in the access check.
bool SameFileName(const QString &expandedName, const QString &otherExpandedName);
