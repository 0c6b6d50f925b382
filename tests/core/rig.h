#pragma once

#include "core/monitor.h"
#include "core/station.h"
#include "settings/settings.h"
#include "support/fakeports.h"

// A Monitor over fakes, with one journal of the timer's, the link's and the
// event log's steps in order. The settings are read through a reference, so
// a test may change them after the rig is built, as start-up does.
struct Rig {
    Settings settings;
    QStringList journal;
    Station station;
    FakeTimer timer;
    FakeLink link;
    StationRecorder events;
    Monitor m{settings, station, timer, link};

    Rig() {
        settings.AutoVol = 20;
        settings.Autotime = 3;
        timer.journal = &journal;
        link.journal = &journal;
        events.journal = &journal;
        events.attach(station);
    }
    void send(const QByteArray& payload) { m.Winsock1_DataArrival(payload); }
    void tick(int left, int right) { m.tmrSN_Timer(left, right); }
    void silentTicks(int n) {
        for (int i = 0; i < n; ++i)
            tick(0, 0);
    }
    const StationState& st() const { return station.state(); }
    const ModeState& state() const { return station.state().modes; }
    QString status() const { return station.state().statusText(); }
};
