#include "app/eventlogrecorder.h"

#include "core/stationevent.h"
#include "settings/eventlog.h"
#include "settings/journal.h"
#include "settings/settings.h"

namespace {
Journal::Priority priorityOf(StationEvent::Kind kind) {
    switch (kind) {
    case StationEvent::Kind::AlarmRaised:
        return Journal::Priority::Critical;
    case StationEvent::Kind::RunStarted:
    case StationEvent::Kind::RunEnded:
        return Journal::Priority::Notice;
    default:
        return Journal::Priority::Info;
    }
}
} // namespace

EventLogRecorder::EventLogRecorder(const Settings& settings, const EventLog& log, QObject* parent)
    : QObject(parent), m_settings(settings), m_log(log) {}

void EventLogRecorder::record(const StationEvent& event, const StationState&) {
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
    if (!m_settings.Log || !StationEvent::isLogged(event.kind))
        return;
    QString error;
    if (m_log.WriteLog(event.text, priorityOf(event.kind), &error))
        return;
    if (event.kind == StationEvent::Kind::RunEnded)
        Journal::write(Journal::Priority::Error, error);
    else
        emit writeFailed(error);
}
