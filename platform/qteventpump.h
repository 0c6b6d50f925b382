#pragma once

#include "core/eventpump.h"

// Processes the events pending in the UI thread's event loop.
class QtEventPump : public EventPump {
public:
    void processPendingEvents() override;
};
