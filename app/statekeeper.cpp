#include "app/statekeeper.h"

#include "core/station.h"
#include "settings/journal.h"

#include <QTimer>

#include <algorithm>

namespace {
QString keywordOf(const StationState& state) {
    const QString source = state.source();
    return source.isEmpty() ? QString() : QStringLiteral("SN_") + source;
}
} // namespace

StateKeeper::StateKeeper(StateFile& file, Station& station, QObject* parent)
    : QObject(parent), m_file(file), m_station(station), m_refresh(new QTimer(this)),
      m_settle(new QTimer(this)) {
    m_writer = new StateWriter(m_file.path(), this);
    connect(m_writer, &StateWriter::written, this, &StateKeeper::written);
    m_refresh->setInterval(StateFile::refreshMs);
    connect(m_refresh, &QTimer::timeout, this, [this] { write(m_station.state()); });
    m_settle->setSingleShot(true);
    connect(m_settle, &QTimer::timeout, this, [this] { stationChanged(m_station.state()); });
    m_clock.start();
}

void StateKeeper::start() {
    m_started = true;
    write(m_station.state());
    m_refresh->start();
}

void StateKeeper::stationChanged(const StationState& state) {
    // Called on every tick too: a comparison of two values, and a write only
    // when the source or the pause moved.
    if (!m_started || m_settle->isActive())
        return;
    if (keywordOf(state) == m_writtenKeyword && state.paused() == m_writtenPaused)
        return;
    // Written at once, so that a kill right after a change still leaves
    // it; but a server that flips sources many times a second gets a few
    // writes and then one a second, each with the state as it then stands
    // (a bucket of maxBurst writes, refilled by one a second).
    const qint64 now = m_clock.elapsed();
    m_credit = std::min<qint64>(maxBurst * 1000, m_credit + (now - m_creditAtMs));
    m_creditAtMs = now;
    if (m_credit >= 1000) {
        m_credit -= 1000;
        write(state);
    } else {
        m_settle->start(int(1000 - m_credit));
    }
}

void StateKeeper::eventPublished(const StationEvent& event, const StationState& state) {
    if (!m_started || event.kind != StationEvent::Kind::RunEnded)
        return;
    // The end of the run is the time stamp a restart measures from.
    m_refresh->stop();
    m_settle->stop();
    write(state);
}

void StateKeeper::write(const StationState& state) {
    const StateFile::Saved saved{keywordOf(state), state.paused(), QDateTime::currentDateTimeUtc()};
    // Taken as written even when the write fails: the next try is the
    // minute's refresh, not every tick.
    m_writtenKeyword = saved.keyword;
    m_writtenPaused = saved.paused;
    m_writer->write(saved);
}

void StateKeeper::written(bool ok, const QString& error) {
    if (ok) {
        if (m_failing) {
            m_failing = false;
            Journal::write(
                Journal::Priority::Notice,
                QStringLiteral("the state file is written again: %1").arg(m_file.path()));
            tell(true, m_file.path());
        }
        return;
    }
    if (!m_failing) {
        m_failing = true;
        Journal::write(Journal::Priority::Warning,
                       QStringLiteral("cannot write the state file (a restart will not resume "
                                      "the source on air; tried again at the next change and "
                                      "every minute): %1")
                           .arg(error));
        tell(false, error);
    }
}

void StateKeeper::tell(bool ok, const QString& text) {
    // Reached from the writer's queued report, never inside a reader of the
    // station.
    if (m_station.ended())
        return;
    StationState& s = m_station.edit();
    s.stateFile.ok = ok;
    s.stateFile.error = ok ? QString() : text;
    m_station.publish(ok ? StationEvent::Kind::StateFileBack : StationEvent::Kind::StateFileFailed,
                      text);
    m_station.notifyChanged();
}
