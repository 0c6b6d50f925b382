#pragma once

#include <QString>

#include <optional>

// A value text read as a decimal number (optional sign, digits, optional
// fraction; no exponent, no hexadecimal, no thousands separators) and
// rounded to the nearest integer, halfway going to the even one. Nothing
// for text that is not such a number or whose result lies outside
// [minimum, maximum]. The rounding is done on the digits, so long digit
// strings are never subject to floating-point error.
std::optional<qint64> settingsValueToInteger(const QString& text, qint64 minimum, qint64 maximum);

// The "Log" rule: the value read as a number equals 1. Nothing when the text
// is not a number.
std::optional<bool> settingsValueIsOne(const QString& text);
