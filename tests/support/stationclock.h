#pragma once

#include <QElapsedTimer>

// One monotonic clock for every time stamp the acceptance tests compare
// (audio changes, datagrams sent and received), in milliseconds.
class StationClock {
public:
    static qint64 nowMs() {
        QElapsedTimer timer;
        timer.start();
        return timer.msecsSinceReference();
    }
};
