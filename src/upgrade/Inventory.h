#pragma once

#include <QString>
#include <QStringList>

// Parsers of the switch's show-command output. Pure functions of the received lines, so
// the device's dialects can be tested without a device.

// The unit suffix for the show commands from a "show stack" answer: empty on a standalone
// device, " unit " and the master's number on a stack. Raises on an unusable answer.
QString ParseShowStack(const QStringList &received);
