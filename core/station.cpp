#include "core/station.h"

#include "settings/monitoredsources.h"

QString StationState::statusText() const {
    switch (shown.phase) {
    case StationPhase::Alarm:
        return QStringLiteral("SONDRAL GEACTIVEERD!");
    case StationPhase::Paused:
        return QStringLiteral("PAUSE");
    case StationPhase::Watching:
        break;
    }
    if (shown.blank)
        return {};
    if (modes.Mode == ModeLive)
        return LiveStatusText;
    const MonitoredSource* source = monitoredSourceOf(modes.Mode);
    return source ? QString(source->statusText) : QString();
}

bool StationState::paused() const {
    const MonitoredSource* source = monitoredSourceOf(modes.Mode);
    return source && source->pausable && !tickRunning && shown.phase == StationPhase::Paused;
}

QString alarmReasonName(AlarmReason reason) {
    return reason == AlarmReason::SteadySignal ? QStringLiteral("steady_signal")
                                               : QStringLiteral("silence");
}

QString StationState::source() const {
    if (modes.Mode == ModeLive)
        return LiveName;
    const MonitoredSource* source = monitoredSourceOf(modes.Mode);
    return source ? QString(source->name) : QString();
}

bool StationEvent::isLogged(Kind kind) {
    switch (kind) {
    case Kind::RunStarted:
    case Kind::RunEnded:
    case Kind::SourceChanged:
    case Kind::PauseOn:
    case Kind::PauseOff:
    case Kind::AlarmRaised:
    case Kind::AlarmSent:
    case Kind::Resumed:
        return true;
    default:
        return false;
    }
}

bool StationEvent::isLogged(const StationEvent& event) {
    // The alarm's line waits for the send that gets "SN_ALARM" out.
    if (event.kind == Kind::AlarmRaised && event.code != 0)
        return false;
    return isLogged(event.kind);
}

QString StationEvent::kindName(Kind kind) {
    switch (kind) {
    case Kind::RunStarted:
        return QStringLiteral("started");
    case Kind::RunEnded:
        return QStringLiteral("closed");
    case Kind::SourceChanged:
        return QStringLiteral("source_changed");
    case Kind::PauseOn:
        return QStringLiteral("pause_on");
    case Kind::PauseOff:
        return QStringLiteral("pause_off");
    case Kind::TickCounted:
        return QStringLiteral("tick");
    case Kind::AlarmRaised:
        return QStringLiteral("alarm");
    case Kind::AlarmSendFailed:
        return QStringLiteral("alarm_send_failed");
    case Kind::TickFailed:
        return QStringLiteral("tick_failed");
    case Kind::DatagramFailed:
        return QStringLiteral("datagram_failed");
    case Kind::CaptureLost:
        return QStringLiteral("capture_lost");
    case Kind::CaptureBack:
        return QStringLiteral("capture_back");
    case Kind::LinkFailed:
        return QStringLiteral("link_failed");
    case Kind::Resumed:
        return QStringLiteral("resumed");
    case Kind::OutageBegan:
        return QStringLiteral("outage");
    case Kind::OutageRestored:
        return QStringLiteral("restored");
    case Kind::NotifyTest:
        return QStringLiteral("test");
    case Kind::OutageRepeated:
        return QStringLiteral("outage_repeated");
    case Kind::NoProgramme:
        return QStringLiteral("no_programme");
    case Kind::ChannelLost:
        return QStringLiteral("channel_lost");
    case Kind::ChannelBack:
        return QStringLiteral("channel_back");
    case Kind::ClipSaved:
        return QStringLiteral("clip_saved");
    case Kind::AlarmSent:
        return QStringLiteral("alarm_sent");
    case Kind::StateFileFailed:
        return QStringLiteral("state_file_failed");
    case Kind::StateFileBack:
        return QStringLiteral("state_file_back");
    }
    return QStringLiteral("unknown");
}

Station::Station(QObject* parent) : QObject(parent) {}

void Station::publish(StationEvent::Kind kind, const QString& text, int code) {
    if (m_ended)
        return;
    ++m_state.eventCounts[static_cast<std::size_t>(kind)];
    // Each event goes out with the state as it stood when it was published.
    // One published by a reader while another is being handed out waits
    // until every reader has had that one: all readers see one order,
    // whatever order they were connected in.
    m_pending.push_back({StationEvent{kind, QDateTime::currentDateTime(), text, code}, m_state});
    if (m_dispatching)
        return;
    m_dispatching = true;
    while (!m_pending.empty()) {
        const Pending next = std::move(m_pending.front());
        m_pending.pop_front();
        emit eventPublished(next.event, next.state);
    }
    m_dispatching = false;
}

void Station::countDatagram(const QByteArray& payload) {
    if (m_ended)
        return;
    std::size_t i = 0;
    while (i < DatagramKeywords.size() &&
           QByteArrayView(payload) !=
               QByteArrayView(DatagramKeywords[i].data(), DatagramKeywords[i].size()))
        ++i;
    ++m_state.datagramCounts[i]; // i == size(): another payload
    // UTC: the local time would look up the time zone (a stat of
    // /etc/localtime) for every datagram, the largest cost of a flood; every
    // output shows it as UTC or Unix time anyway.
    m_state.lastDatagram = QDateTime::currentDateTimeUtc();
}

void Station::notifyChanged() {
    if (!m_ended)
        emit changed(m_state);
}

bool Station::end() {
    if (m_ended)
        return false;
    publish(StationEvent::Kind::RunEnded, QStringLiteral("Program Closed"));
    m_ended = true;
    return true;
}
