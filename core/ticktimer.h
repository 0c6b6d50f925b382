#pragma once

// The one-second tick that drives the silence detector. start() on a running
// tick leaves it running without restarting its interval.
class TickTimer {
public:
    virtual ~TickTimer() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};
