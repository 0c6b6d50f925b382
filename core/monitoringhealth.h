#pragma once

#include <QString>
#include <QtGlobal>

struct StationState;

// Whether the monitoring works, for whatever watches Sondral from outside
// (the service manager's watchdog): a running tick has fired lately, and the
// capture either delivers or its loss has been reported. That the event
// loop turns is shown by the caller asking at all.
struct MonitoringHealth {
    // A running tick fires every second; this long without one is a stuck
    // or starved tick.
    static constexpr qint64 tickOverdueMs = 2000;
    // Blocks arrive about every 20 ms; the capture reports a loss after
    // 1.5 s without one. Silent for longer and still not reported means the
    // audio thread is stuck.
    static constexpr qint64 captureOverdueMs = 3000;

    bool ok = true;
    // Why not, in English; empty when ok.
    QString reason;

    // nowMs and lastBlockMs on the monotonic clock; lastBlockMs is when the
    // capture last delivered a block (0: never).
    static MonitoringHealth check(const StationState& state, qint64 nowMs, qint64 lastBlockMs);
};
