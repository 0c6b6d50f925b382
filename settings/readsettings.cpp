#include "settings/readsettings.h"

#include "settings/inifile.h"
#include "settings/monitoredsources.h"

#include <QDir>
#include <QFileInfo>

#include <limits>

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

QString shownValue(const QString& value) {
    // The message goes into a message box: keep it one readable line even
    // for a garbage value.
    constexpr qsizetype maxShown = 60;
    QString shown;
    for (QChar c : value.left(maxShown)) {
        shown.append(c.isPrint() ? c : QLatin1Char('?'));
    }
    if (value.size() > maxShown) {
        shown.append(QStringLiteral("..."));
    }
    return shown;
}

class Reader {
public:
    Reader(IniFile& ini, QString fileName) : m_ini(ini), m_fileName(std::move(fileName)) {}

    void section(const QString& name) {
        m_section = name;
        m_ini.selectSection(name);
    }

    template <typename T> T integer(const QString& key) {
        const QString value = m_ini.read(key);
        if (value.isEmpty()) {
            return 0;
        }
        const auto n = settingsValueToInteger(value, std::numeric_limits<T>::min(),
                                              std::numeric_limits<T>::max());
        if (!n) {
            complain(key, value);
            return 0;
        }
        return static_cast<T>(*n);
    }

    bool flag(const QString& key) {
        const QString value = m_ini.read(key);
        if (value.isEmpty()) {
            return false;
        }
        const auto one = settingsValueIsOne(value);
        if (!one) {
            complain(key, value);
            return false;
        }
        return *one;
    }

    QString text(const QString& key) { return m_ini.read(key); }

    QStringList messages() const { return m_messages; }

private:
    void complain(const QString& key, const QString& value) {
        m_messages.append(QStringLiteral("Ongeldige waarde in %1, sectie [%2], sleutel %3: \"%4\". "
                                         "De standaardwaarde 0 wordt gebruikt.")
                              .arg(m_fileName, m_section, key, shownValue(value)));
    }

    IniFile& m_ini;
    QString m_fileName;
    QString m_section;
    QStringList m_messages;
};

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

QStringList ReadSettings(IniFile& ini, const QString& path, Settings& settings) {
    ini.selectFile(path);
    Reader r(ini, QFileInfo(path).fileName());
    Settings s;

    // A missing file is a first start and passes in silence; a file that is
    // there but cannot be read gives the defaults too, but the operator must
    // hear why the link and the log are off.
    QStringList unreadable;
    QString reason;
    if (!ini.isReadable(&reason)) {
        unreadable << QStringLiteral("Kan %1 niet lezen (%2): %3. Alle instellingen krijgen hun "
                                     "standaardwaarde.")
                          .arg(QFileInfo(path).fileName(), QDir::toNativeSeparators(path), reason);
    }

    r.section(QStringLiteral("Audio"));
    s.Card = r.integer<qint16>(QStringLiteral("Card"));
    // All thresholds, then all time limits: the order of the messages.
    for (const MonitoredSource& source : MonitoredSources)
        s.*source.threshold = r.integer<qint16>(source.thresholdKey);
    for (const MonitoredSource& source : MonitoredSources)
        s.*source.timeLimit = r.integer<qint16>(source.timeKeyRead);
    s.Log = r.flag(QStringLiteral("Log"));

    r.section(QStringLiteral("InterPC"));
    s.RemoteName = r.text(QStringLiteral("RemoteName"));
    s.RemotePort = r.integer<qint32>(QStringLiteral("RemotePort"));
    s.HostPort = r.integer<qint32>(QStringLiteral("HostPort"));

    settings = s;
    return unreadable + r.messages();
}
