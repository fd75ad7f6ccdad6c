#pragma once

#include <QChar>
#include <QString>

#include <limits>

// As the separator count of IsValidAddress: any number of separators.
inline constexpr int kAnySeparatorCount = std::numeric_limits<int>::max();

// A list of numbers separated by one character, such as a dotted IPv4 address: only digits
// (with hex, "A" to "F" in either case too) and the separator; every part at most maximum,
// an empty part counting as 0; exactly separators separators unless kAnySeparatorCount; and
// not "0.0.0.0".
bool IsValidAddress(const QString &text, QChar separator, int separators, bool hex, int maximum);
