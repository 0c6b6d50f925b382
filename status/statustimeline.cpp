#include "status/statustimeline.h"

#include <algorithm>

namespace {
quint8 percent(int level) {
    return quint8(std::clamp(level, 0, 100));
}
} // namespace

StatusTimeline::Minute& StatusTimeline::slot(qint64 minute) {
    Minute& m = m_slots[std::size_t(minute % minutes)];
    if (m.minute != minute) {
        m = Minute{};
        m.minute = minute;
        m.minLeft = m.minRight = 100;
    }
    m_latest = std::max(m_latest, minute);
    return m;
}

void StatusTimeline::add(qint64 minute, int left, int right, const StationState& state) {
    if (minute < 0 || minute < m_latest)
        return;
    Minute& m = slot(minute);
    m.minLeft = std::min(m.minLeft, percent(left));
    m.maxLeft = std::max(m.maxLeft, percent(left));
    m.minRight = std::min(m.minRight, percent(right));
    m.maxRight = std::max(m.maxRight, percent(right));
    m.mode = state.modes.Mode;
    if (state.tickRunning) {
        m.monitored = true;
        m.armedVol = state.modes.ArmedVol;
    }
    m.alarm = m.alarm || state.alarmActive();
}

void StatusTimeline::markRaised(qint64 minute) {
    if (minute >= 0 && minute >= m_latest) {
        Minute& m = slot(minute);
        m.raised = true;
        m.alarm = true;
    }
}

void StatusTimeline::markRestored(qint64 minute) {
    if (minute >= 0 && minute >= m_latest)
        slot(minute).restored = true;
}

QList<StatusTimeline::Minute> StatusTimeline::window(qint64 nowMinute) const {
    QList<Minute> out;
    for (qint64 minute = nowMinute - minutes + 1; minute <= nowMinute; ++minute) {
        if (minute < 0)
            continue;
        const Minute& m = m_slots[std::size_t(minute % minutes)];
        if (m.minute == minute)
            out.append(m);
    }
    return out;
}
