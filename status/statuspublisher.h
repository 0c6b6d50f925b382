#pragma once

#include "core/stationevent.h"
#include "status/statuslevels.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class Station;
class StatusBoard;
struct StationState;

// Copies the station state onto the board on the UI thread: on each event,
// on each change, and every intervalMs for the levels, which move without
// either. Keeps the latest events for the page. Tells when the page is
// being looked at: its state is fetched at the meters' pace (the last two
// fetches, and the last one and now, each less than watchWindowMs apart),
// so that the capture delivers at that pace then. A scrape of the metrics,
// or a script that asks for the JSON now and then, does not count.
class StatusPublisher : public QObject {
    Q_OBJECT
public:
    using LevelSource = std::function<StatusLevels()>;

    static constexpr int intervalMs = 100;
    static constexpr qint64 watchWindowMs = 500;

    StatusPublisher(const Station& station, StatusBoard& board, const QString& name,
                    LevelSource levels, QObject* parent = nullptr);

    // Starts the periodic copies (and makes the first).
    void start();
    bool isWatched() const { return m_watched; }

signals:
    void watchedChanged(bool watched);

private:
    void eventPublished(const StationEvent& event, const StationState& state);
    void publish(const StationState& state);
    void poll();

    const Station& m_station;
    StatusBoard& m_board;
    QString m_name;
    LevelSource m_levels;
    QList<StationEvent> m_events;
    QTimer m_timer;
    bool m_watched = false;
};
