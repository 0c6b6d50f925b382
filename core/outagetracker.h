#pragma once

#include "core/programmesecond.h"
#include "core/stationevent.h"

#include <QHash>

#include <functional>

class Station;
class TickTimer;
struct StationState;

// The outage after an alarm: the silence check stops at its alarm, so this
// reads the two levels once a second on a timer of its own (never the
// silence check's tick, the status text or the gauge) until the programme
// has been back for restoreSeconds seconds in a row. It then publishes
// OutageRestored with the outage's length, counted from the first second of
// the alarm's count to the first good second of the restore.
//
// After a silence alarm a second is good when it is loud enough; after a
// steady-signal alarm (a hum, a carrier, a loop) it must also be judged as
// programme by the capture's dynamics meter, since the steady signal is
// loud enough all along.
//
// An alarm while an outage lasts (a re-armed source that falls silent
// again, a retried send) belongs to that outage: OutageBegan is published
// once per outage, after the alarm that began it has reached every reader.
// It needs no clock: the timer paces it.
class OutageTracker {
public:
    // Whether one second, read as left and right percent with what the
    // dynamics meter said of it, counts as the programme being back for the
    // outage in state.outage.
    using Verdict = std::function<bool(const StationState& state, int left, int right,
                                       const ProgrammeSecond& programme)>;

    // restoreSeconds below 1 counts as 1. repeatSeconds > 0: while an
    // outage lasts, OutageRepeated every so many seconds after its alarm.
    OutageTracker(Station& station, TickTimer& timer, int restoreSeconds, int repeatSeconds = 0);
    OutageTracker(const OutageTracker&) = delete;
    OutageTracker& operator=(const OutageTracker&) = delete;

    // An event that begins an outage, and how its restore is judged.
    // AlarmRaised (an alarm decided, sent or not) is known from the start,
    // with programmeBack.
    void addAlarmKind(StationEvent::Kind kind, Verdict verdict);

    // Every station event, as published.
    void observe(const StationEvent& event, const StationState& state);
    // One second's levels and dynamics, on the tracker's timer. Without a
    // judgement of its dynamics the second is unmeasured: it never ends a
    // steady signal's outage.
    void second(int leftLevel, int rightLevel, const ProgrammeSecond& programme = {});

    // A channel at or above half the threshold that raised the alarm.
    static bool levelBack(const StationState& state, int leftLevel, int rightLevel);
    // levelBack, and for a steady signal's outage a second measured as
    // programme (not steady) as well.
    static bool programmeBack(const StationState& state, int leftLevel, int rightLevel,
                              const ProgrammeSecond& programme);

private:
    void begin(const StationState& state, const Verdict& verdict);
    // The seconds the alarm's rule had counted when it was decided.
    static int countedAtAlarm(const StationState& state);

    Station& m_station;
    TickTimer& m_timer;
    int m_restoreSeconds;
    int m_repeatSeconds;
    QHash<int, Verdict> m_kinds;
    Verdict m_verdict; // the current outage's
    int m_sampled = 0; // seconds read since the alarm
    int m_loudInRow = 0;
    int m_firstLoud = 0; // m_sampled at the first loud second of the current run
};
