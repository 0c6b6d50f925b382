#pragma once

#include "core/monitorports.h"

struct ModeState;
struct Settings;
class ErrorReporter;

// The once-a-second silence check: counts consecutive seconds in which both
// channels are below half the armed threshold, shows the count on the gauge
// and raises the alarm when it passes the armed time limit.
class SilenceDetector {
public:
    SilenceDetector(const Settings& settings, ModeState& state, const MonitorPorts& ports,
                    ErrorReporter& errors);

    // One tick. Re-entrant calls (a tick firing while this one lets pending
    // events run) return at once without doing anything: the running tick
    // finishes with whatever those events changed.
    void tick();
    bool inTick() const { return m_inTick; }
    // The rule for one channel: silent while its level (percent) is below
    // half the threshold, taken in double precision without rounding (25
    // gives 12.5). Public so that tools judge seconds exactly as Sondral does.
    static bool isSilentLevel(int threshold, int level) { return threshold / 2.0 > level; }
    // No tick does anything from now on; one in its middle stops after the
    // pending events (a close request among them) have run.
    void shutDown() { m_ended = true; }

private:
    void tickSteps();

    const Settings& m_settings;
    ModeState& m_state;
    MonitorPorts m_ports;
    ErrorReporter& m_errors;
    bool m_inTick = false;
    bool m_ended = false;
};
