#pragma once

#include "core/ticktimer.h"

#include <QObject>
#include <QTimer>

// The tick on a QTimer: 1000 ms, precise (a coarse timer may fire up to 5 %
// early, and the time limits count ticks as seconds), stopped when built.
class QtTickTimer : public QObject, public TickTimer {
    Q_OBJECT
public:
    static constexpr int IntervalMs = 1000;

    explicit QtTickTimer(QObject* parent = nullptr);

    // A running tick keeps its phase: start() does not restart it.
    void start() override;
    void stop() override;

signals:
    void timeout();

private:
    QTimer m_timer;
};
