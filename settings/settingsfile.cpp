#include "settings/settingsfile.h"

#include "settings/monitoredsources.h"
#include "settings/settingsvalue.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <limits>

namespace {

const QString AudioSection = QStringLiteral("Audio");
const QString LinkSection = QStringLiteral("InterPC");
const QString StationSection = QStringLiteral("Station");
const QString StationNameKey = QStringLiteral("Name");
const QString StatusSection = QStringLiteral("Status");
const QString StatusPortKey = QStringLiteral("Port");
const QString StatusBindKey = QStringLiteral("Bind");
const QString CardKey = QStringLiteral("Card");
const QString CardNameKey = QStringLiteral("CardName");
const QString UrlKey = QStringLiteral("Url");
const QString LogKey = QStringLiteral("Log");
const QString RemoteNameKey = QStringLiteral("RemoteName");
const QString RemotePortKey = QStringLiteral("RemotePort");
const QString HostPortKey = QStringLiteral("HostPort");
const QString NotifySection = QStringLiteral("Notify");
const QString ChannelTimeKey = QStringLiteral("ChannelTime");

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

// "a", "a en b", "a, b en c".
QString listed(const QStringList& items) {
    if (items.size() < 2)
        return items.join(QString());
    return items.mid(0, items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" en ") +
           items.last();
}

// The keys of one section, read with their conversions; what is wrong with
// them is collected as lines for the operator.
class Reader {
public:
    Reader(const IniFile& ini, const QString& fileName, const QString& section)
        : m_ini(ini), m_fileName(fileName), m_section(section) {}

    QString text(const QString& key) const { return m_ini.read(m_section, key); }

    // Card: a 16-bit number; below 0 it is named, and kept.
    qint16 card(const QString& key) {
        const QString value = text(key);
        const auto n = number(key, value, std::numeric_limits<qint16>::min(),
                              std::numeric_limits<qint16>::max());
        if (n && *n < 0)
            complain(key, value, QStringLiteral("Een kaartnummer is 0 of hoger."));
        return qint16(n.value_or(0));
    }

    // A threshold (percent) or time limit (seconds): any number outside
    // 0..100 is named and held to the nearer end, however far out it is.
    qint16 percentOrSeconds(const QString& key) {
        const QString value = text(key);
        const auto n = number(key, value, std::numeric_limits<qint64>::min(),
                              std::numeric_limits<qint64>::max());
        if (!n)
            return 0;
        const qint64 held = std::clamp<qint64>(*n, Settings::MinimumPercentOrSeconds,
                                               Settings::MaximumPercentOrSeconds);
        if (held != *n)
            complain(key, value,
                     QStringLiteral("Toegestaan is %1 tot en met %2; %3 wordt gebruikt.")
                         .arg(Settings::MinimumPercentOrSeconds)
                         .arg(Settings::MaximumPercentOrSeconds)
                         .arg(held));
        return qint16(held);
    }

    // Seconds from 0 to maximum; fallback for an empty or missing value. A
    // number outside the range is named and held to the nearer end.
    qint16 seconds(const QString& key, qint16 maximum, qint16 fallback) {
        const QString value = text(key);
        if (value.isEmpty())
            return fallback;
        const auto n = number(key, value, std::numeric_limits<qint64>::min(),
                              std::numeric_limits<qint64>::max());
        if (!n)
            return 0;
        const qint64 held = std::clamp<qint64>(*n, 0, maximum);
        if (held != *n)
            complain(key, value,
                     QStringLiteral("Toegestaan is 0 tot en met %1; %2 wordt gebruikt.")
                         .arg(maximum)
                         .arg(held));
        return qint16(held);
    }

    bool flag(const QString& key) {
        const QString value = text(key);
        if (value.isEmpty())
            return false;
        const auto one = settingsValueIsOne(value);
        if (!one) {
            complainDefault(key, value);
            return false;
        }
        return *one;
    }

    // A port: a number outside 1..65535 is named and kept as read (0 when it
    // does not even fit the field). whyUnusable says in a few words why the
    // link cannot use it; it stays empty for a usable port.
    qint32 port(const QString& key, QString* whyUnusable) {
        const QString value = text(key);
        if (value.isEmpty()) {
            *whyUnusable = QStringLiteral("%1 ontbreekt").arg(key);
            return 0;
        }
        const auto n = number(key, value, std::numeric_limits<qint64>::min(),
                              std::numeric_limits<qint64>::max());
        if (!n) {
            *whyUnusable = QStringLiteral("%1 is geen getal").arg(key);
            return 0;
        }
        if (!Settings::isPort(*n)) {
            const QString range =
                QStringLiteral("%1 en %2").arg(Settings::MinimumPort).arg(Settings::MaximumPort);
            complain(key, value, QStringLiteral("Een poort ligt tussen %1.").arg(range));
            *whyUnusable = QStringLiteral("%1 ligt niet tussen %2").arg(key, range);
            const bool fits = *n >= std::numeric_limits<qint32>::min() &&
                              *n <= std::numeric_limits<qint32>::max();
            return fits ? qint32(*n) : 0;
        }
        return qint32(*n);
    }

    // A number with a default for a missing or empty value; one that is
    // not a number gives the default, one outside [range] the nearer end,
    // each with a line.
    qint32 ranged(const QString& key, Settings::Range range, qint32 fallback) {
        const QString value = text(key);
        if (value.isEmpty())
            return fallback;
        const auto n = settingsValueToInteger(value, std::numeric_limits<qint64>::min(),
                                              std::numeric_limits<qint64>::max());
        if (!n) {
            complain(key, value,
                     QStringLiteral("De standaardwaarde %1 wordt gebruikt.").arg(fallback));
            return fallback;
        }
        const qint64 held = std::clamp<qint64>(*n, range.minimum, range.maximum);
        if (held != *n)
            complain(key, value,
                     QStringLiteral("Toegestaan is %1 tot en met %2; %3 wordt gebruikt.")
                         .arg(range.minimum)
                         .arg(range.maximum)
                         .arg(held));
        return qint32(held);
    }

    // A port that may be 0 (off): anything else outside 1..65535 is named
    // and turns the feature off.
    qint32 optionalPort(const QString& key) {
        const QString value = text(key);
        const auto n = number(key, value, std::numeric_limits<qint64>::min(),
                              std::numeric_limits<qint64>::max());
        if (!n)
            return 0;
        if (*n != 0 && !Settings::isPort(*n)) {
            complain(key, value,
                     QStringLiteral("Een poort ligt tussen %1 en %2; 0 (uit) wordt gebruikt.")
                         .arg(Settings::MinimumPort)
                         .arg(Settings::MaximumPort));
            return 0;
        }
        return qint32(*n);
    }

    QStringList messages() const { return m_messages; }

private:
    // The value as a number in [minimum, maximum]; nothing, with a line, for
    // a value that is not one; 0 for an empty value.
    std::optional<qint64> number(const QString& key, const QString& value, qint64 minimum,
                                 qint64 maximum) {
        if (value.isEmpty())
            return 0;
        const auto n = settingsValueToInteger(value, minimum, maximum);
        if (!n)
            complainDefault(key, value);
        return n;
    }

    void complainDefault(const QString& key, const QString& value) {
        complain(key, value, QStringLiteral("De standaardwaarde 0 wordt gebruikt."));
    }

    void complain(const QString& key, const QString& value, const QString& consequence) {
        m_messages.append(
            QStringLiteral("Ongeldige waarde in %1, sectie [%2], sleutel %3: \"%4\". ")
                .arg(m_fileName, m_section, key, shownValue(value)) +
            consequence);
    }

    const IniFile& m_ini;
    QString m_fileName;
    QString m_section;
    QStringList m_messages;
};

void readAudio(Reader& r, Settings& s) {
    s.Card = r.card(CardKey);
    s.CardName = r.text(CardNameKey);
    s.Url = r.text(UrlKey).trimmed();
    // All thresholds, then all time limits: the order of the messages.
    for (const MonitoredSource& source : MonitoredSources)
        s.*source.threshold = r.percentOrSeconds(source.thresholdKey);
    for (const MonitoredSource& source : MonitoredSources)
        s.*source.timeLimit = r.percentOrSeconds(source.timeKeyRead);
    s.Log = r.flag(LogKey);
    for (const MonitoredSource& source : MonitoredSources)
        s.*source.flatSeconds = r.seconds(source.flatKey, Settings::MaximumFlatSeconds, 0);
}

void readNotify(Reader& r, Settings& s) {
    s.NotifyCommand = r.text(QStringLiteral("Command")).trimmed();
    s.NotifyUrl = r.text(QStringLiteral("Url")).trimmed();
    s.NotifyToken = r.text(QStringLiteral("Token")).trimmed();
    s.HeartbeatUrl = r.text(QStringLiteral("Heartbeat")).trimmed();
    const Settings defaults;
    s.HeartbeatSeconds = r.ranged(QStringLiteral("HeartbeatSeconds"),
                                  Settings::HeartbeatSecondsRange, defaults.HeartbeatSeconds);
    s.RepeatMinutes = r.ranged(QStringLiteral("RepeatMinutes"), Settings::RepeatMinutesRange,
                               defaults.RepeatMinutes);
    s.RestoreTime =
        r.ranged(QStringLiteral("RestoreTime"), Settings::RestoreTimeRange, defaults.RestoreTime);
    s.LogRestore = r.flag(QStringLiteral("LogRestore"));
}

// Returns why the link stays off; empty when it can be set up.
QStringList readLink(Reader& r, Settings& s) {
    QStringList off;
    s.RemoteName = r.text(RemoteNameKey);
    if (s.RemoteName.isEmpty())
        off << QStringLiteral("%1 is leeg").arg(RemoteNameKey);
    for (auto [key, field] : {std::pair{&RemotePortKey, &Settings::RemotePort},
                              std::pair{&HostPortKey, &Settings::HostPort}}) {
        QString why;
        s.*field = r.port(*key, &why);
        if (!why.isEmpty())
            off << why;
    }
    return off;
}

} // namespace

SettingsFile::SettingsFile(const QString& path) : m_path(path), m_ini(path) {}

QStringList SettingsFile::load() {
    const QString fileName = QFileInfo(m_path).fileName();
    Settings s;
    QStringList problems;

    // A missing file is a first start and passes in silence; a file that is
    // there but cannot be read gives the defaults too, but the operator must
    // hear why the link and the log are off.
    QString reason;
    const bool readable = m_ini.isReadable(&reason);
    if (!readable) {
        problems << QStringLiteral("Kan %1 niet lezen (%2): %3. Alle instellingen krijgen hun "
                                   "standaardwaarde.")
                        .arg(fileName, QDir::toNativeSeparators(m_path), reason);
    }

    Reader audio(m_ini, fileName, AudioSection);
    readAudio(audio, s);
    Reader link(m_ini, fileName, LinkSection);
    const QStringList linkOff = readLink(link, s);
    Reader notify(m_ini, fileName, NotifySection);
    readNotify(notify, s);
    s.ChannelTime =
        notify.seconds(ChannelTimeKey, Settings::MaximumChannelTime, Settings::DefaultChannelTime);
    problems << audio.messages() << link.messages() << notify.messages();
    s.StationName = Reader(m_ini, fileName, StationSection).text(StationNameKey).trimmed();
    if (s.StationName.isEmpty())
        s.StationName = QSysInfo::machineHostName();
    Reader status(m_ini, fileName, StatusSection);
    s.StatusPort = status.optionalPort(StatusPortKey);
    const QString bind = status.text(StatusBindKey).trimmed();
    if (!bind.isEmpty())
        s.StatusBind = bind;
    problems << status.messages();

    // A station PC without a link watches nothing, so a file that sets one
    // up only half says so; without any file this is a first start.
    if (readable && QFileInfo::exists(m_path) && !linkOff.isEmpty()) {
        problems
            << QStringLiteral("De verbinding met de server staat uit: %1.").arg(listed(linkOff));
    }

    m_settings = s;
    return problems;
}

bool SettingsFile::saveAudio(const Settings& values, CardChoice card) {
    // Card, CardName, the thresholds, the time limits, Log: the order of the
    // keys in a new section. The time keys are written with a capital T.
    QList<QPair<QString, QString>> keys;
    if (card == CardChoice::Save) {
        keys.append({CardKey, QString::number(values.Card)});
        keys.append({CardNameKey, values.CardName});
    }
    // Url only once a stream was set: a file that never had one keeps its lines.
    if (!values.Url.isEmpty() || !m_settings.Url.isEmpty())
        keys.append({UrlKey, values.Url.trimmed()});
    for (const MonitoredSource& source : MonitoredSources)
        keys.append({source.thresholdKey, QString::number(values.*source.threshold)});
    for (const MonitoredSource& source : MonitoredSources)
        keys.append({source.timeKeyWritten, QString::number(values.*source.timeLimit)});
    keys.append({LogKey, QString::number(values.Log ? 1 : 0)});
    if (!m_ini.write(AudioSection, keys))
        return false;

    // What a start would now read, with the same conversions; the lines for
    // the operator belong to a start and are not shown here.
    Reader r(m_ini, QFileInfo(m_path).fileName(), AudioSection);
    readAudio(r, m_settings);
    return true;
}

bool SettingsFile::saveLink(const LinkTexts& texts) {
    if (!m_ini.write(LinkSection, {{RemoteNameKey, texts.remoteName},
                                   {RemotePortKey, texts.remotePort},
                                   {HostPortKey, texts.hostPort}}))
        return false;
    Reader r(m_ini, QFileInfo(m_path).fileName(), LinkSection);
    readLink(r, m_settings);
    return true;
}
