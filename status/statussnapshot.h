#pragma once

#include "core/stationevent.h"
#include "core/stationstate.h"
#include "status/statuslevels.h"

#include <QList>
#include <QString>

// One copy of everything the status outputs serve, made on the UI thread and
// read by the server thread. A plain value: QString and QList are implicitly
// shared with thread-safe reference counts, so copies cross threads freely.
struct StatusSnapshot {
    StationState state;
    StatusLevels levels;
    QString name;    // [Station] Name, or the host name
    QString version; // the program's version
    // The latest events, oldest first; ticks are counted, not listed.
    QList<StationEvent> events;
    static constexpr int maxEvents = 50;
    // When the UI thread made this copy, monotonic ms; 0 before the first.
    qint64 publishedMs = 0;
};
