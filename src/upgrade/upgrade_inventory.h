#pragma once

#include <QString>

class ITftpHost;

// The pieces of the device inventory (TTelnetOperations::GatherInformation and ShowStack)
// that need no switch.

// One report line of the inventory: the label left-aligned in 15 characters, a blank, the
// value.
QString inventoryLine(const QString &label, const QString &value);

// Saves the payload's file of that name into folder, whole or not at all: the switch must
// never fetch a truncated or damaged image. A name the payload does not hold is skipped.
// Raises Exception, naming the image, when its bytes are not those the packer recorded, and
// EFCreateError or EWriteError when the file cannot be written.
void saveImage(ITftpHost &host, const QString &name, const QString &folder);
