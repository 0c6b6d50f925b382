#include "app/eventlogrecorder.h"

#include "core/stationevent.h"
#include "core/stationstate.h"
#include "settings/eventlog.h"
#include "settings/journal.h"
#include "settings/settings.h"

namespace {
Journal::Priority priorityOf(StationEvent::Kind kind) {
    switch (kind) {
    case StationEvent::Kind::AlarmRaised:
    case StationEvent::Kind::AlarmSent:
        return Journal::Priority::Critical;
    case StationEvent::Kind::RunStarted:
    case StationEvent::Kind::RunEnded:
    case StationEvent::Kind::Resumed:
        return Journal::Priority::Notice;
    default:
        return Journal::Priority::Info;
    }
}
} // namespace

EventLogRecorder::EventLogRecorder(const Settings& settings, const EventLog& log, QObject* parent)
    : QObject(parent), m_settings(settings), m_log(log) {}

void EventLogRecorder::record(const StationEvent& event, const StationState& state) {
    // The steady signal's reason and a lost or returning channel go to the
    // journal only, logging on or off: sondral.log keeps the lines it
    // always had.
    switch (event.kind) {
    case StationEvent::Kind::NoProgramme:
        Journal::write(Journal::Priority::Critical, event.text);
        return;
    case StationEvent::Kind::ChannelLost:
        Journal::write(Journal::Priority::Warning, event.text);
        return;
    case StationEvent::Kind::ChannelBack:
        Journal::write(Journal::Priority::Notice, event.text);
        return;
    default:
        break;
    }
    if (event.kind == StationEvent::Kind::AlarmRaised && event.code != 0) {
        alarmNotSent(event, state);
        return;
    }
    const bool restored = event.kind == StationEvent::Kind::OutageRestored;
    if (restored)
        Journal::write(Journal::Priority::Notice,
                       QStringLiteral("programme back after %1 s of dead air (%2)")
                           .arg(state.outage.seconds)
                           .arg(state.outage.source));
    if (!m_settings.Log && event.kind == StationEvent::Kind::Resumed) {
        // Whoever reads the journal must learn that monitoring carried on
        // by itself, logged or not.
        Journal::write(priorityOf(event.kind), event.text);
        return;
    }
    // The restore's line is the operator's choice, so that the log stays as
    // it was without it.
    const bool logged = StationEvent::isLogged(event) || (restored && m_settings.LogRestore);
    if (!m_settings.Log || !logged)
        return;
    QString error;
    if (m_log.WriteLog(event.text, priorityOf(event.kind), &error))
        return;
    if (event.kind == StationEvent::Kind::RunEnded)
        Journal::write(Journal::Priority::Error, error);
    else
        emit writeFailed(error);
}

void EventLogRecorder::alarmNotSent(const StationEvent& event, const StationState& state) {
    // The event log keeps its order ("SONDRAL ACTIVATED" once the datagram
    // is out); the journal has the alarm at once, once per alarm however
    // often the tick retries the send.
    Journal::write(Journal::Priority::Critical,
                   QStringLiteral("SONDRAL ACTIVATED: SN_ALARM could not be sent to %1:%2 "
                                  "(error %3); retried every second")
                       .arg(state.link.remoteName)
                       .arg(state.link.remotePort)
                       .arg(event.code));
}
