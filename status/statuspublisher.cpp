#include "status/statuspublisher.h"

#include "core/station.h"
#include "status/statusboard.h"
#include "status/statussnapshot.h"

#include <QDateTime>

#include <chrono>

namespace {
qint64 nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

StatusPublisher::StatusPublisher(const Station& station, StatusBoard& board, const QString& name,
                                 LevelSource levels, QObject* parent)
    : QObject(parent), m_station(station), m_board(board), m_name(name),
      m_levels(std::move(levels)) {
    connect(&station, &Station::eventPublished, this, &StatusPublisher::eventPublished);
    connect(&station, &Station::changed, this, &StatusPublisher::publish);
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &StatusPublisher::poll);
}

void StatusPublisher::start() {
    m_timer.start();
    publish(m_station.state());
}

void StatusPublisher::eventPublished(const StationEvent& event, const StationState& state) {
    // Every second's tick would push everything else off the list; ticks
    // are counted in the state.
    if (event.kind != StationEvent::Kind::TickCounted) {
        m_events.append(event);
        if (m_events.size() > StatusSnapshot::maxEvents)
            m_events.remove(0, m_events.size() - StatusSnapshot::maxEvents);
    }
    publish(state);
}

void StatusPublisher::publish(const StationState& state) {
    StatusSnapshot snapshot;
    snapshot.state = state;
    if (m_levels)
        snapshot.levels = m_levels();
    snapshot.name = m_name;
    snapshot.version = QStringLiteral(SONDRAL_VERSION);
    snapshot.events = m_events;
    snapshot.publishedMs = nowMs();
    m_board.publish(snapshot, QDateTime::currentMSecsSinceEpoch());
}

void StatusPublisher::poll() {
    publish(m_station.state());
    const qint64 last = m_board.lastPageFetchMs();
    const qint64 previous = m_board.previousPageFetchMs();
    const bool watched =
        previous != 0 && last - previous < watchWindowMs && nowMs() - last < watchWindowMs;
    if (watched != m_watched) {
        m_watched = watched;
        emit watchedChanged(watched);
    }
}
