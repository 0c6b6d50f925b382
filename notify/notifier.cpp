#include "notify/notifier.h"

#include "core/stationevent.h"
#include "core/stationstate.h"
#include "notify/commandpath.h"
#include "notify/heartbeatpath.h"
#include "notify/notification.h"
#include "notify/webhookpath.h"
#include "settings/settings.h"

#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>

namespace {
QString lengthText(int seconds) {
    if (seconds < 120)
        return QStringLiteral("%1 s").arg(seconds);
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

QString sourceText(const QString& source) {
    if (source.isEmpty())
        return QStringLiteral("the programme");
    return QString(source).replace(QLatin1Char('_'), QLatin1Char(' '));
}

bool steadyOutage(const StationState& state) {
    return state.outage.reason == AlarmReason::SteadySignal;
}

// An unusable URL as the start-up message and the journal show it: what
// stands before its path (scheme, host and port), without a user's name and
// password. The text may not parse as a URL at all, so it is cut as text.
QString shownUnusableUrl(const QString& text) {
    const qsizetype schemeEnd = text.indexOf(QLatin1String("://"));
    const qsizetype authorityStart = schemeEnd < 0 ? 0 : schemeEnd + 3;
    qsizetype authorityEnd = text.size();
    for (const QChar stop : {u'/', u'?', u'#', u'\\'}) {
        const qsizetype at = text.indexOf(stop, authorityStart);
        if (at >= 0)
            authorityEnd = std::min(authorityEnd, at);
    }
    const QString authority = text.mid(authorityStart, authorityEnd - authorityStart);
    return text.left(authorityStart) + authority.mid(authority.lastIndexOf(QLatin1Char('@')) + 1);
}

// The channel events carry the channel as their code: 0 left, 1 right.
QString channelName(int code) {
    return code == 0 ? QStringLiteral("left") : QStringLiteral("right");
}
// A command line as shown to the operator and the journal: the program only,
// since its arguments may hold a token or a password.
QString shownCommand(const QString& commandLine) {
    const QStringList words = QProcess::splitCommand(commandLine);
    if (words.isEmpty())
        return commandLine.trimmed();
    return words.size() > 1 ? words.first() + QStringLiteral(" …") : words.first();
}
} // namespace

Notifier::Notifier(const Settings& settings, QObject* parent)
    : QObject(parent), m_station(settings.StationName) {
    if (!settings.NotifyCommand.isEmpty()) {
        const QString why = CommandPath::unusable(settings.NotifyCommand);
        if (why.isEmpty())
            m_command = std::make_unique<CommandPath>(settings.NotifyCommand,
                                                      CommandPath::DefaultTimeoutMs);
        else
            m_problems.append(
                {QStringLiteral("Command"), shownCommand(settings.NotifyCommand), why});
    }
    if (!settings.NotifyUrl.isEmpty()) {
        const QString why = WebhookPath::unusable(settings.NotifyUrl);
        if (why.isEmpty())
            m_webhook = std::make_unique<WebhookPath>(
                QUrl(settings.NotifyUrl), settings.NotifyToken, WebhookPath::RequestTimeoutMs);
        else
            m_problems.append({QStringLiteral("Url"), shownUnusableUrl(settings.NotifyUrl), why});
    }
    if (!settings.HeartbeatUrl.isEmpty()) {
        const QString why = WebhookPath::unusable(settings.HeartbeatUrl);
        if (why.isEmpty())
            m_heartbeat = std::make_unique<HeartbeatPath>(QUrl(settings.HeartbeatUrl),
                                                          settings.HeartbeatSeconds);
        else
            m_problems.append(
                {QStringLiteral("Heartbeat"), shownUnusableUrl(settings.HeartbeatUrl), why});
    }
}

Notifier::~Notifier() = default;

QStringList Notifier::problemTexts() const {
    QStringList lines;
    for (const Problem& p : m_problems) {
        const QString what = p.key == u"Command"
                                 ? QStringLiteral("Het programma bestaat niet of is niet "
                                                  "uitvoerbaar.")
                                 : QStringLiteral("Een adres begint met http:// of https:// en "
                                                  "noemt een host.");
        lines << QStringLiteral("Onbruikbare waarde in sondral.ini, sectie [Notify], sleutel "
                                "%1: \"%2\". %3 Deze sleutel wordt niet gebruikt; de andere "
                                "meldingen werken gewoon.")
                     .arg(p.key, p.value, what);
    }
    return lines;
}

QStringList Notifier::problemJournalLines() const {
    QStringList lines;
    for (const Problem& p : m_problems)
        lines << QStringLiteral("[Notify] %1 \"%2\" cannot be used: %3; that path stays off, the "
                                "others work")
                     .arg(p.key, p.value, p.reason);
    return lines;
}

QList<NotificationPath*> Notifier::paths() const {
    QList<NotificationPath*> list;
    if (m_command)
        list << m_command.get();
    if (m_webhook)
        list << m_webhook.get();
    if (m_heartbeat)
        list << m_heartbeat.get();
    return list;
}

void Notifier::setSingleAttempt() {
    if (m_webhook)
        m_webhook->setRetrying(false);
}

void Notifier::startHeartbeat(std::function<bool()> works) {
    if (m_heartbeat)
        m_heartbeat->startBeating(std::move(works));
}

Notification Notifier::notificationFor(const StationEvent& event, const StationState& state,
                                       const QString& station) {
    using Kind = StationEvent::Kind;
    Notification n;
    n.time = event.time;
    n.station = station;
    n.source = state.source();
    // The outage's events speak of the source whose dead air began it, not
    // of what is on air now.
    if (event.kind == Kind::OutageBegan || event.kind == Kind::OutageRepeated ||
        event.kind == Kind::OutageRestored) {
        n.source = state.outage.source;
        n.reason = alarmReasonName(state.outage.reason);
    }
    switch (event.kind) {
    case Kind::OutageBegan:
        n.event = QStringLiteral("alarm");
        n.silenceSeconds = state.outage.silenceAtAlarm;
        if (steadyOutage(state))
            // The alarm's own second: the tick stops with it.
            n.text = QStringLiteral("Dead air at %1: no programme: steady signal at %2 dBFS for "
                                    "%3 (%4).")
                         .arg(station)
                         .arg(state.programme.last.peakDbfs)
                         .arg(lengthText(n.silenceSeconds), sourceText(n.source));
        else
            n.text = QStringLiteral("Dead air at %1: %2 has been silent for %3.")
                         .arg(station, sourceText(n.source), lengthText(n.silenceSeconds));
        break;
    case Kind::OutageRepeated:
        n.event = QStringLiteral("alarm");
        n.silenceSeconds = state.outage.seconds;
        if (steadyOutage(state))
            n.text = QStringLiteral("Dead air at %1 goes on: no programme, a steady signal, for "
                                    "%2 (%3).")
                         .arg(station, lengthText(n.silenceSeconds), sourceText(n.source));
        else
            n.text = QStringLiteral("Dead air at %1 goes on: %2 has been silent for %3.")
                         .arg(station, sourceText(n.source), lengthText(n.silenceSeconds));
        break;
    case Kind::OutageRestored:
        n.event = QStringLiteral("restored");
        n.silenceSeconds = state.outage.seconds;
        n.text = QStringLiteral("Programme back at %1 after %2 of dead air (%3).")
                     .arg(station, lengthText(n.silenceSeconds), sourceText(n.source));
        break;
    case Kind::ChannelLost:
        n.event = QStringLiteral("channel_lost");
        n.channel = channelName(event.code);
        n.text = QStringLiteral("One channel lost at %1: the %2 channel of %3 is below half the "
                                "threshold while the other plays.")
                     .arg(station, n.channel, sourceText(n.source));
        break;
    case Kind::ChannelBack:
        n.event = QStringLiteral("channel_back");
        n.channel = channelName(event.code);
        n.text = QStringLiteral("The %1 channel of %2 at %3 plays again.")
                     .arg(n.channel, sourceText(n.source), station);
        break;
    case Kind::CaptureLost:
        n.event = QStringLiteral("capture_lost");
        n.text = QStringLiteral("Sondral at %1 hears nothing from its sound input \"%2\" any "
                                "more; it counts this as silence.")
                     .arg(station, event.text);
        break;
    case Kind::CaptureBack:
        n.event = QStringLiteral("capture_back");
        n.text = QStringLiteral("Sondral at %1 hears its sound input \"%2\" again.")
                     .arg(station, event.text);
        break;
    case Kind::RunStarted:
        n.event = QStringLiteral("started");
        n.text = QStringLiteral("Sondral at %1 has started.").arg(station);
        break;
    case Kind::RunEnded:
        n.event = QStringLiteral("closed");
        n.text = QStringLiteral("Sondral at %1 has been closed; nothing watches the programme "
                                "now.")
                     .arg(station);
        break;
    case Kind::NotifyTest:
        n.event = QStringLiteral("test");
        n.text = QStringLiteral("A test from Sondral at %1: this path works.").arg(station);
        break;
    default:
        break;
    }
    return n;
}

void Notifier::observe(const StationEvent& event, const StationState& state) {
    const Notification n = notificationFor(event, state, m_station);
    if (!n.event.isEmpty())
        tell(n);
}

void Notifier::tell(const Notification& notification) {
    // The heartbeat tells that Sondral lives, not what happens.
    if (m_command)
        m_command->send(notification);
    if (m_webhook)
        m_webhook->send(notification);
}

bool Notifier::allIdle() const {
    return (!m_command || m_command->idle()) && (!m_webhook || m_webhook->idle());
}

void Notifier::whenIdle(int timeoutMs, std::function<void()> done) {
    if (allIdle()) {
        done();
        return;
    }
    auto* poll = new QTimer(this);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    poll->setInterval(50);
    connect(poll, &QTimer::timeout, this, [this, poll, clock, timeoutMs, done] {
        if (!allIdle() && clock->elapsed() < timeoutMs)
            return;
        poll->stop();
        poll->deleteLater();
        done();
    });
    poll->start();
}
