#pragma once

#include "core/monitoringhealth.h"

#include <QtGlobal>

struct StatusSnapshot;

// Sondral's health as the status server tells it (/healthz, /metrics): the
// one judgement (MonitoringHealth) on the snapshot, provided the snapshot is
// fresh. A UI thread that stopped publishing is not monitoring, and the
// state it left says nothing of now: that is the one problem then.
struct StatusHealth {
    // The UI thread publishes ten times a second; this long without a copy
    // means it is stuck.
    static constexpr qint64 staleMs = 2000;

    // nowMs on the monotonic clock of StatusSnapshot::publishedMs.
    static MonitoringHealth check(const StatusSnapshot& snapshot, qint64 nowMs);
};
