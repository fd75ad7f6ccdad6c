#pragma once

#include "tftp/TrivialFTPServer.h"

// The TFTP host's log: one line per request and one per finished transfer, written alike by
// the wizard's host and the console server. A line is the peer's "address:port", " - " and
// the text.
QString tftpLogLine(const TPeerInfo &peer, const QString &text);
// text with its control characters spelt out ("\n", "\r", "\t", "\x1b"), so that a name
// from the network cannot break or forge a line of the log.
QString escapedControlCharacters(const QString &text);
// "Read access to <file> granted" (or "Write access", "denied"); the name escaped as above.
QString requestLogText(bool writeOperation, const QString &fileName, bool granted);
// "Transfer completed - <bytes> bytes transferred" (or "aborted").
QString transferLogText(bool success, qint64 bytes);
