#pragma once

// Lets the event loop handle what is pending, in the middle of a tick, so a
// datagram that arrived meanwhile counts before the alarm decision.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processPendingEvents() = 0;
};
