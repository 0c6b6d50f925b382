#pragma once

#include <QString>
#include <QtGlobal>

struct StatusSnapshot;

// Whether the monitoring works and no alarm stands, as an HTTP health check
// (Uptime Kuma, check_http) asks it: the watchdog's conditions on the
// snapshot, and a snapshot that is fresh (a UI thread that stopped
// publishing is not monitoring).
struct StatusHealth {
    // The UI thread publishes ten times a second; this long without a copy
    // means it is stuck.
    static constexpr qint64 staleMs = 2000;

    bool ok = true;
    QString reason; // English, one line; empty when ok

    // nowMs on the monotonic clock of StatusSnapshot::publishedMs.
    static StatusHealth check(const StatusSnapshot& snapshot, qint64 nowMs);
};
