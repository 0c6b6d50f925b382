#pragma once

#include "app/statewriter.h"
#include "settings/statefile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTimer;
class Station;
struct StationEvent;
struct StationState;

// Keeps sondral.state current from the station: the source on air and the
// pause whenever either changes (at once, a burst of a few, then at most one
// a second), the time stamp once a minute, and the whole state once more
// when the run ends. Each write replaces a file of a few dozen bytes and
// syncs it to the disk, on the StateWriter's thread; that happens a few
// times a minute in practice and never per tick. A write that fails is told
// once, on the journal and
// through the station (StateFileFailed, StationState::stateFile: the
// operator and the status page), and tried again at the next change or the
// minute's refresh; the first write that succeeds again is told once too
// (StateFileBack). Monitoring goes on either way.
class StateKeeper : public QObject {
    Q_OBJECT
public:
    StateKeeper(StateFile& file, Station& station, QObject* parent = nullptr);

    // From now on the file follows the station (the first write is now).
    void start();

    void stationChanged(const StationState& state);
    void eventPublished(const StationEvent& event, const StationState& state);

private:
    void write(const StationState& state);
    // The writer's result, in an event-loop turn of its own.
    void written(bool ok, const QString& error);
    // Puts the file's health into the station and publishes the event.
    void tell(bool ok, const QString& text);

    StateFile& m_file;
    Station& m_station;
    StateWriter* m_writer = nullptr;
    QTimer* m_refresh = nullptr;
    // A change that finds no credit for a write waits for this.
    QTimer* m_settle = nullptr;
    QElapsedTimer m_clock;
    static constexpr qint64 maxBurst = 4;
    // Milliseconds of credit; 1000 pays for one write.
    qint64 m_credit = maxBurst * 1000;
    qint64 m_creditAtMs = 0;
    bool m_started = false;
    QString m_writtenKeyword;
    bool m_writtenPaused = false;
    bool m_failing = false;
};
