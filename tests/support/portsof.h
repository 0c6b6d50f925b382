#pragma once

#include "core/monitorports.h"

// Points every port at the like-named member of a set of fakes (status,
// meters, gauge, timer, sender, logger, pump, presenter), so that the unit
// tests and the fuzz target wire their own fakes the same way.
template <class Fakes> MonitorPorts portsOf(Fakes& f) {
    MonitorPorts p;
    p.status = &f.status;
    p.meters = &f.meters;
    p.gauge = &f.gauge;
    p.timer = &f.timer;
    p.sender = &f.sender;
    p.logger = &f.logger;
    p.pump = &f.pump;
    p.presenter = &f.presenter;
    return p;
}
