#include "core/outagetracker.h"

#include "core/silencerule.h"
#include "core/station.h"
#include "core/ticktimer.h"

#include <algorithm>

OutageTracker::OutageTracker(Station& station, TickTimer& timer, int restoreSeconds,
                             int repeatSeconds)
    : m_station(station), m_timer(timer), m_restoreSeconds(std::max(1, restoreSeconds)),
      m_repeatSeconds(std::max(0, repeatSeconds)) {
    addAlarmKind(StationEvent::Kind::AlarmRaised, &OutageTracker::programmeBack);
}

void OutageTracker::addAlarmKind(StationEvent::Kind kind, Verdict verdict) {
    m_kinds.insert(int(kind), std::move(verdict));
}

bool OutageTracker::levelBack(const StationState& state, int leftLevel, int rightLevel) {
    const int vol = state.outage.armedVol;
    return !isSilentLevel(vol, leftLevel) || !isSilentLevel(vol, rightLevel);
}

bool OutageTracker::programmeBack(const StationState& state, int leftLevel, int rightLevel,
                                  const ProgrammeSecond& programme) {
    if (!levelBack(state, leftLevel, rightLevel))
        return false;
    if (state.outage.reason == AlarmReason::Silence)
        return true;
    // The hum is loud enough all along: only dynamics tell the programme.
    return programme.measured && !programme.steady;
}

int OutageTracker::countedAtAlarm(const StationState& state) {
    if (state.alarmReason == AlarmReason::SteadySignal)
        return state.programme.flatCount;
    return state.modes.SilenceCount;
}

void OutageTracker::observe(const StationEvent& event, const StationState& state) {
    if (event.kind == StationEvent::Kind::RunEnded) {
        m_timer.stop();
        return;
    }
    const auto it = m_kinds.constFind(int(event.kind));
    if (it != m_kinds.constEnd() && !state.outage.active) {
        begin(state, *it);
        return;
    }
    // An alarm within an outage (a re-armed source silent again, a retried
    // send) is the same outage; but once a steady signal alarmed in it, its
    // level alone no longer ends it (a silence that turns into a hum).
    if (state.outage.active && state.alarmActive() && state.alarmReason == AlarmReason::SteadySignal)
        m_station.edit().outage.reason = AlarmReason::SteadySignal;
}

void OutageTracker::begin(const StationState& state, const Verdict& verdict) {
    StationState& s = m_station.edit();
    s.outage.active = true;
    s.outage.source = state.source();
    s.outage.armedVol = state.modes.ArmedVol;
    s.outage.reason = state.alarmReason;
    // The alarm is decided on a tick that counted silenceAtAlarm seconds
    // (silent, or steady), the first of them silenceAtAlarm - 1 s before it.
    s.outage.silenceAtAlarm = std::max(1, countedAtAlarm(state));
    s.outage.seconds = s.outage.silenceAtAlarm;
    m_verdict = verdict;
    m_sampled = 0;
    m_loudInRow = 0;
    m_firstLoud = 0;
    // Its first second falls one second after the alarm's tick, in step
    // with it.
    m_timer.start();
    m_station.publish(StationEvent::Kind::OutageBegan);
}

void OutageTracker::second(int leftLevel, int rightLevel, const ProgrammeSecond& programme) {
    if (m_station.ended() || !m_station.state().outage.active)
        return;
    StationState& s = m_station.edit();
    ++m_sampled;
    if (m_verdict(s, leftLevel, rightLevel, programme)) {
        if (m_loudInRow++ == 0)
            m_firstLoud = m_sampled;
    } else {
        m_loudInRow = 0;
    }
    // The length so far: up to this second while still dead air, up to the
    // first good second while the programme may be coming back.
    const int upTo = m_loudInRow > 0 ? m_firstLoud : m_sampled + 1;
    s.outage.seconds = s.outage.silenceAtAlarm - 1 + upTo;
    if (m_loudInRow < m_restoreSeconds) {
        if (m_repeatSeconds > 0 && m_sampled % m_repeatSeconds == 0)
            m_station.publish(StationEvent::Kind::OutageRepeated);
        return;
    }
    s.outage.active = false;
    s.outage.lastRestoredSeconds = s.outage.seconds;
    m_timer.stop();
    m_station.publish(StationEvent::Kind::OutageRestored,
                      QStringLiteral("SONDRAL RESTORED after %1 s").arg(s.outage.seconds));
}
