#pragma once

#include "settings/settings.h"

#include <QStringList>
#include <optional>

class IniFile;

// Fills settings from the file at path through ini. A missing file, and
// missing or empty values, give the field's default in silence. A file that
// exists but cannot be read gives every default and one message naming the
// file and the reason. A non-empty value that is not a number or does
// not fit its field also gives the default, and one Dutch message line per
// such key is returned, for start-up to show the operator, e.g.:
//   Ongeldige waarde in sondral.ini, sectie [InterPC], sleutel RemotePort: "abc".
//   De standaardwaarde 0 wordt gebruikt.
QStringList ReadSettings(IniFile& ini, const QString& path, Settings& settings);

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
