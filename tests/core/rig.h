#pragma once

#include "core/monitor.h"
#include "fakes.h"
#include "settings/settings.h"

// A Monitor over fakes. The settings are read through a reference, so a
// test may change them after the rig is built, as start-up does.
struct Rig {
    Settings settings;
    Fakes f;
    Monitor m{settings, f.ports()};

    Rig() {
        settings.Log = true;
        settings.AutoVol = 20;
        settings.Autotime = 3;
    }
    void send(const QByteArray& payload) { m.Winsock1_DataArrival(payload); }
    void tick() { m.tmrSN_Timer(); }
    void silentTicks(int n) {
        f.meters.setLevels(0, 0);
        for (int i = 0; i < n; ++i)
            tick();
    }
    const ModeState& state() const { return m.state(); }
};
