#pragma once

#include "status/statussnapshot.h"
#include "status/statustimeline.h"

#include <QMutex>

#include <atomic>

// Where the UI thread leaves the latest station state for the status
// server's thread: a snapshot and the 24-hour timeline, behind one mutex
// that each side holds only for a copy. No request ever waits on the UI
// thread, only (briefly) on another request's copy or on a publish.
class StatusBoard {
public:
    // UI thread: the latest snapshot, and one sample of it for the timeline
    // at wall-clock time epochMs.
    void publish(const StatusSnapshot& snapshot, qint64 epochMs);

    // Any thread.
    StatusSnapshot snapshot() const;
    StatusTimeline timeline() const;

    // The page asks for its state (monotonic ms). The last two such times
    // tell whether a page polls at the meters' pace.
    void notePageFetch(qint64 nowMs) {
        m_previousPageFetchMs.store(m_lastPageFetchMs.exchange(nowMs, std::memory_order_relaxed),
                                    std::memory_order_relaxed);
    }
    qint64 lastPageFetchMs() const { return m_lastPageFetchMs.load(std::memory_order_relaxed); }
    qint64 previousPageFetchMs() const {
        return m_previousPageFetchMs.load(std::memory_order_relaxed);
    }

private:
    mutable QMutex m_mutex;
    StatusSnapshot m_snapshot;
    StatusTimeline m_timeline;
    bool m_hadSnapshot = false;
    std::atomic<qint64> m_lastPageFetchMs{0};
    std::atomic<qint64> m_previousPageFetchMs{0};
};
