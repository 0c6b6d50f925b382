#include "status/statushealth.h"

#include "core/monitoringhealth.h"
#include "status/statussnapshot.h"

StatusHealth StatusHealth::check(const StatusSnapshot& snapshot, qint64 nowMs) {
    if (snapshot.publishedMs == 0)
        return {false, QStringLiteral("the monitoring has not published its state yet")};
    if (nowMs - snapshot.publishedMs > staleMs)
        return {false, QStringLiteral("the monitoring has not published its state for %1 s")
                           .arg((nowMs - snapshot.publishedMs) / 1000)};
    const MonitoringHealth health =
        MonitoringHealth::check(snapshot.state, nowMs, snapshot.levels.lastBlockMs);
    if (!health.ok)
        return {false, health.reason};
    if (snapshot.state.alarmActive)
        return {false, QStringLiteral("dead air: the alarm stands since %1")
                           .arg(snapshot.state.lastAlarm.toUTC().toString(Qt::ISODate))};
    return {};
}
