#include "settings/settingsvalue.h"

namespace {

// The parts of a decimal number text: sign, integer digits (leading zeros
// removed), fraction digits.
struct Decimal {
    bool negative = false;
    QString integer;
    QString fraction;
};

std::optional<Decimal> parseDecimal(const QString& text) {
    const QString t = text.trimmed();
    Decimal d;
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        d.negative = t[i] == QLatin1Char('-');
        ++i;
    }
    auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    const qsizetype intStart = i;
    while (i < t.size() && isDigit(t[i])) {
        ++i;
    }
    d.integer = t.mid(intStart, i - intStart);
    if (i < t.size() && t[i] == QLatin1Char('.')) {
        ++i;
        const qsizetype fracStart = i;
        while (i < t.size() && isDigit(t[i])) {
            ++i;
        }
        d.fraction = t.mid(fracStart, i - fracStart);
    }
    if (i != t.size() || (d.integer.isEmpty() && d.fraction.isEmpty())) {
        return std::nullopt;
    }
    qsizetype zeros = 0;
    while (zeros < d.integer.size() && d.integer[zeros] == QLatin1Char('0')) {
        ++zeros;
    }
    d.integer.remove(0, zeros);
    return d;
}

} // namespace

std::optional<qint64> settingsValueToInteger(const QString& text, qint64 minimum, qint64 maximum) {
    const auto d = parseDecimal(text);
    if (!d) {
        return std::nullopt;
    }
    // Beyond 18 digits the magnitude exceeds any field; stop before qint64
    // could overflow.
    if (d->integer.size() > 18) {
        return std::nullopt;
    }
    qint64 magnitude = d->integer.isEmpty() ? 0 : d->integer.toLongLong();
    if (!d->fraction.isEmpty()) {
        const QChar first = d->fraction[0];
        bool restNonZero = false;
        for (qsizetype i = 1; i < d->fraction.size(); ++i) {
            if (d->fraction[i] != QLatin1Char('0')) {
                restNonZero = true;
                break;
            }
        }
        if (first > QLatin1Char('5') || (first == QLatin1Char('5') && restNonZero)) {
            ++magnitude;
        } else if (first == QLatin1Char('5') && magnitude % 2 != 0) {
            ++magnitude; // exactly halfway: to the even neighbour
        }
    }
    const qint64 value = d->negative ? -magnitude : magnitude;
    if (value < minimum || value > maximum) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> settingsValueIsOne(const QString& text) {
    const auto d = parseDecimal(text);
    if (!d) {
        return std::nullopt;
    }
    if (d->negative || d->integer != QLatin1String("1")) {
        return false;
    }
    for (QChar c : d->fraction) {
        if (c != QLatin1Char('0')) {
            return false;
        }
    }
    return true;
}
