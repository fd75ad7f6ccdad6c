#pragma once

#include <QString>

class TTftpHost;

// The program's preparations before any switch is reached, as the wizard makes them. Each
// returns an empty text, or what stops the program, for the operator.

// Makes the working folder ($TMPDIR/Quillo/) this user's own; refuses one that is a link,
// belongs to another user or that others can write to.
QString prepareWorkingFolder();

// Unpacks the image table and the help documents of the program's own payload into the
// working folder.
QString extractPayload(const QString &programFile);

// Serves the working folder over TFTP on UDP 69 on every address. A port that another program
// holds and a port this user may not bind are told apart.
QString startTftpServer(TTftpHost &host, const QString &programFile);
