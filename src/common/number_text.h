#pragma once

#include <QString>

#include <optional>

namespace quendrel {

// The number a text typed by the user stands for: optional blanks, an
// optional sign, digits with an optional fraction (a point, or the locale's
// decimal separator), an optional exponent. Nothing for anything else, the
// empty text included.
std::optional<double> ParseNumberText(const QString& text);

// The whole number nearest to the value, halves to the even one. Values
// beyond ±1e15 come back as ±1e15: only their sign and size matter.
long long RoundHalfToEven(double value);

// The text without leading and trailing space characters (U+0020 only:
// tabs and line breaks stay).
QString TrimSpaces(const QString& text);

}  // namespace quendrel
