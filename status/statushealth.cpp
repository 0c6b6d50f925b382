#include "status/statushealth.h"

#include "status/statussnapshot.h"

MonitoringHealth StatusHealth::check(const StatusSnapshot& snapshot, qint64 nowMs) {
    using Kind = MonitoringHealth::Kind;
    MonitoringHealth stale;
    if (snapshot.publishedMs == 0) {
        stale.problems.append(
            {Kind::Check, QStringLiteral("the monitoring has not published its state yet")});
        return stale;
    }
    if (nowMs - snapshot.publishedMs > staleMs) {
        stale.problems.append(
            {Kind::Check, QStringLiteral("the monitoring has not published its state for %1 s")
                              .arg((nowMs - snapshot.publishedMs) / 1000)});
        return stale;
    }
    return MonitoringHealth::judge(snapshot.state, nowMs, snapshot.levels.lastBlockMs);
}
