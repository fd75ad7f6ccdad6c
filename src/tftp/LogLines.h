#pragma once

#include "tftp/TrivialFTPServer.h"

// The TFTP host's log: one line per request and one per finished transfer, written alike by
// the wizard's host and the console server. A line is the peer's "address:port", " - " and
// the text.
QString TftpLogLine(const TPeerInfo &peer, const QString &text);
// "Read access to <file> granted" (or "Write access", "denied").
QString RequestLogText(bool writeOperation, const QString &fileName, bool granted);
// "Transfer completed - <bytes> bytes transferred" (or "aborted").
QString TransferLogText(bool success, qint64 bytes);
