#include "core/monitoringhealth.h"

#include "core/stationstate.h"

QString MonitoringHealth::kindName(Kind kind) {
    switch (kind) {
    case Kind::Link:
        return QStringLiteral("link");
    case Kind::Capture:
        return QStringLiteral("capture");
    case Kind::Check:
        return QStringLiteral("check");
    case Kind::Alarm:
        return QStringLiteral("alarm");
    }
    return {};
}

bool MonitoringHealth::canMonitor() const {
    for (const Problem& p : problems) {
        if (stopsMonitoring(p.kind))
            return false;
    }
    return true;
}

bool MonitoringHealth::has(Kind kind) const {
    for (const Problem& p : problems) {
        if (p.kind == kind)
            return true;
    }
    return false;
}

QStringList MonitoringHealth::reasons() const {
    QStringList out;
    for (const Problem& p : problems)
        out << p.text;
    return out;
}

MonitoringHealth MonitoringHealth::judge(const StationState& state, qint64 nowMs,
                                         qint64 lastBlockMs) {
    MonitoringHealth h;
    const StationState::Link& link = state.link;
    // hostPort is set only for a complete [InterPC] section: without one
    // there is no link to receive on.
    if (link.hostPort > 0 && !link.bound)
        h.problems.append({Kind::Link, QStringLiteral("the UDP port %1 for the server's datagrams "
                                                      "cannot be bound (%2); retrying")
                                           .arg(link.hostPort)
                                           .arg(link.bindError)});

    const StationState::Capture& capture = state.capture;
    const qint64 inPhaseMs = nowMs - capture.sinceMs;
    switch (capture.phase) {
    case CapturePhase::Waiting:
        // The first block comes within milliseconds of a start; longer is
        // no sound server, or an input that is not there.
        if (inPhaseMs > captureOverdueMs)
            h.problems.append(
                {Kind::Capture, QStringLiteral("the capture has not delivered audio yet (%1 s)")
                                    .arg(inPhaseMs / 1000)});
        break;
    case CapturePhase::Lost:
        h.problems.append(
            {Kind::Capture,
             QStringLiteral("the capture input is lost (%1 s)").arg(inPhaseMs / 1000)});
        break;
    case CapturePhase::Capturing:
        if (nowMs - lastBlockMs > captureOverdueMs)
            h.problems.append(
                {Kind::Capture, QStringLiteral("the capture has delivered nothing for %1 s and has "
                                               "not reported a loss")
                                    .arg((nowMs - lastBlockMs) / 1000)});
        break;
    }

    if (state.tickRunning && nowMs - state.lastTickMs > tickOverdueMs)
        h.problems.append({Kind::Check, QStringLiteral("the silence check has not run for %1 s")
                                            .arg((nowMs - state.lastTickMs) / 1000)});

    if (state.alarmActive())
        h.problems.append({Kind::Alarm, QStringLiteral("dead air: the alarm stands since %1")
                                            .arg(state.lastAlarm.toUTC().toString(Qt::ISODate))});
    return h;
}
