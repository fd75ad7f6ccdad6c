#pragma once

#include <QString>

// Whether a TFTP client's requested name lies inside rootFolder. The name may hold folders,
// ".." and separators; it is expanded against the root (an absolute name stays absolute)
// and replaced by the expanded path, granted or not, so that the caller opens and logs the
// file that was actually checked. A sibling folder whose name merely begins with the root's
// name is outside. Names compare the way the platform's file system does: with regard to
// letter case on Linux, where "/tmp/QUILLO" is another folder than "/tmp/Quillo".
bool CheckAccess(QString &requestedName, const QString &rootFolder);
