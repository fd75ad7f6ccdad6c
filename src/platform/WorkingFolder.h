#pragma once

#include <QString>

// The user's temporary folder followed by "Quillo", always ending in a separator, so that
// callers append bare file names. The payload, the images, the uploaded configuration and a
// copy of the log live there; it is the TFTP server's root.
QString WorkingFolder();
