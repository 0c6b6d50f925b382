#pragma once

// The one-second tick that drives the silence check. start() on a running
// tick leaves it running without restarting its interval; the monitor keeps
// track of whether it runs.
class TickTimer {
public:
    virtual ~TickTimer() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};
