#include "core/outagetracker.h"

#include "core/silencerule.h"
#include "core/station.h"
#include "core/ticktimer.h"

#include <algorithm>

OutageTracker::OutageTracker(Station& station, TickTimer& timer, int restoreSeconds,
                             int repeatSeconds)
    : m_station(station), m_timer(timer), m_restoreSeconds(std::max(1, restoreSeconds)),
      m_repeatSeconds(std::max(0, repeatSeconds)) {
    addAlarmKind(StationEvent::Kind::AlarmRaised, &OutageTracker::levelBack);
    addAlarmKind(StationEvent::Kind::AlarmSendFailed, &OutageTracker::levelBack);
}

void OutageTracker::addAlarmKind(StationEvent::Kind kind, Verdict verdict) {
    m_kinds.insert(int(kind), std::move(verdict));
}

bool OutageTracker::levelBack(const StationState& state, int leftLevel, int rightLevel) {
    const int vol = state.outage.armedVol;
    return !isSilentLevel(vol, leftLevel) || !isSilentLevel(vol, rightLevel);
}

void OutageTracker::observe(const StationEvent& event, const StationState& state) {
    if (event.kind == StationEvent::Kind::RunEnded) {
        m_timer.stop();
        return;
    }
    const auto it = m_kinds.constFind(int(event.kind));
    if (it == m_kinds.constEnd() || state.outage.active)
        return;
    begin(state, *it);
}

void OutageTracker::begin(const StationState& state, const Verdict& verdict) {
    StationState& s = m_station.edit();
    s.outage.active = true;
    s.outage.source = state.source();
    s.outage.armedVol = state.modes.ArmedVol;
    // The alarm is decided on a tick that counted silenceAtAlarm seconds,
    // the first of them silenceAtAlarm - 1 s before it.
    s.outage.silenceAtAlarm = std::max(1, int(state.modes.SilenceCount));
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

void OutageTracker::second(int leftLevel, int rightLevel) {
    if (m_station.ended() || !m_station.state().outage.active)
        return;
    StationState& s = m_station.edit();
    ++m_sampled;
    if (m_verdict(s, leftLevel, rightLevel)) {
        if (m_loudInRow++ == 0)
            m_firstLoud = m_sampled;
    } else {
        m_loudInRow = 0;
    }
    // The length so far: up to this second while silent, up to the first
    // loud second while the programme may be coming back.
    const int upTo = m_loudInRow > 0 ? m_firstLoud : m_sampled + 1;
    s.outage.seconds = s.outage.silenceAtAlarm - 1 + upTo;
    if (m_loudInRow < m_restoreSeconds) {
        if (m_repeatSeconds > 0 && m_sampled % m_repeatSeconds == 0)
            m_station.publish(StationEvent::Kind::OutageRepeated);
        return;
    }
    s.outage.active = false;
    m_timer.stop();
    m_station.publish(StationEvent::Kind::OutageRestored,
                      QStringLiteral("SONDRAL RESTORED after %1 s").arg(s.outage.seconds));
}
