#include "status/statusboard.h"

#include <QMutexLocker>

void StatusBoard::publish(const StatusSnapshot& snapshot, qint64 epochMs) {
    const qint64 minute = epochMs / 60000;
    QMutexLocker lock(&m_mutex);
    const StationState& before = m_snapshot.state;
    const StationState& now = snapshot.state;
    if (m_hadSnapshot) {
        // Every alarm decided is an event published with its own snapshot, so
        // a count that grew is an alarm raised since the last copy.
        if (now.alarmCount > before.alarmCount)
            m_timeline.markRaised(minute);
        if (before.alarmActive() && !now.alarmActive())
            m_timeline.markRestored(minute);
    }
    m_timeline.add(minute, snapshot.levels.left, snapshot.levels.right, now);
    m_snapshot = snapshot;
    m_hadSnapshot = true;
}

StatusSnapshot StatusBoard::snapshot() const {
    QMutexLocker lock(&m_mutex);
    return m_snapshot;
}

StatusTimeline StatusBoard::timeline() const {
    QMutexLocker lock(&m_mutex);
    return m_timeline;
}
