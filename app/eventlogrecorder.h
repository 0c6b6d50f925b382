#pragma once

#include <QObject>

class EventLog;
struct Settings;
struct StationEvent;
struct StationState;

// Writes the event log from the station's events: one line for each event
// the log records, when logging is on (Settings::Log), with the journal
// priority of its kind: the alarm critical, start and close notices, source
// changes and pauses informational. Two lines go to the journal whatever
// Log says: a resume of the last run's source, and an alarm whose datagram
// could not be sent (critical, once per alarm).
// The end of an outage is a journal notice, and a log line
// "SONDRAL RESTORED after N s" with LogRestore.
// The alarm's steady-signal reason (critical) and a channel lost (warning)
// or back (notice) go to the journal alone.
class EventLogRecorder : public QObject {
    Q_OBJECT
public:
    EventLogRecorder(const Settings& settings, const EventLog& log, QObject* parent = nullptr);

    void record(const StationEvent& event, const StationState& state);

signals:
    // A line could not be written (the text names the file and the reason);
    // the operator must hear of it, and monitoring goes on. Not for the run's
    // last line, which is reported on standard error only: no window is left
    // to show it.
    void writeFailed(const QString& error);

private:
    void alarmNotSent(const StationEvent& event, const StationState& state);

    const Settings& m_settings;
    const EventLog& m_log;
};
