#include "core/monitoringhealth.h"

#include "core/stationstate.h"

MonitoringHealth MonitoringHealth::check(const StationState& state, qint64 nowMs,
                                         qint64 lastBlockMs) {
    if (state.tickRunning && nowMs - state.lastTickMs > tickOverdueMs)
        return {false, QStringLiteral("the silence check has not run for %1 s")
                           .arg((nowMs - state.lastTickMs) / 1000)};
    if (state.capture.phase == CapturePhase::Capturing && nowMs - lastBlockMs > captureOverdueMs)
        return {false, QStringLiteral("the capture has delivered nothing for %1 s and has not "
                                      "reported a loss")
                           .arg((nowMs - lastBlockMs) / 1000)};
    return {};
}
