#pragma once

#include <QString>

#include <optional>

// The step number a status of the switch's self-upgrade announces: the number between
// "Step " and the first ":" after it (0 when it is not one), or none when the text announces
// no step. "Step " is matched in its letter case; a ":" before it announces nothing.
std::optional<int> statusStep(const QString &status);
