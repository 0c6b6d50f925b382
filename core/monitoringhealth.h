#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

struct StationState;

// The one judgement of Sondral's health, made from the station state, for
// everything that tells the outside world: /healthz and /metrics, the
// heartbeat, the service manager's watchdog. It has two parts:
//  * can monitor: the link receives (when one is configured), the capture
//    delivers, the silence check runs on its second;
//  * the programme is fine: no alarm stands.
// Each failing condition is one problem with its kind and an English text.
struct MonitoringHealth {
    // A running tick fires every second; this long without one is a stuck
    // or starved tick.
    static constexpr qint64 tickOverdueMs = 2000;
    // Blocks arrive about every 20 ms; the capture reports a loss after
    // 1.5 s without one. Silent for longer and still not reported means the
    // audio thread is stuck. Also how long the capture may take to deliver
    // its first block before "waiting" counts as not delivering.
    static constexpr qint64 captureOverdueMs = 3000;

    // The order is the order of the reasons and of the metrics' series.
    enum class Kind {
        Link,    // a configured HostPort is not bound: no datagram can arrive
        Capture, // no audio: waiting for the input, lost, or stuck
        Check,   // the silence check is late (the monitoring loop is stuck)
        Alarm,   // the dead-air alarm stands (the programme, not Sondral)
    };
    static constexpr int kindCount = 4;
    // The machine-read name: "link", "capture", "check", "alarm".
    static QString kindName(Kind kind);
    // Every kind but the alarm keeps Sondral from monitoring.
    static bool stopsMonitoring(Kind kind) { return kind != Kind::Alarm; }

    struct Problem {
        Kind kind;
        QString text; // English, one line
    };
    QList<Problem> problems;

    bool ok() const { return problems.isEmpty(); }
    bool canMonitor() const;
    bool programmeFine() const { return !has(Kind::Alarm); }
    // What the watchdog proves: the monitoring loop runs. A restart would
    // not cure any other problem (a taken port stays taken).
    bool loopRuns() const { return !has(Kind::Check); }
    bool has(Kind kind) const;
    QStringList reasons() const;

    // nowMs and lastBlockMs on the monotonic clock of StationState::lastTickMs;
    // lastBlockMs is when the capture last delivered a block (0: never).
    static MonitoringHealth judge(const StationState& state, qint64 nowMs, qint64 lastBlockMs);
};
