#pragma once

#include "core/errorreporter.h"
#include "core/modehandler.h"
#include "core/modestate.h"
#include "core/monitorports.h"
#include "core/silencedetector.h"

#include <QByteArray>

struct Settings;

// The monitoring logic of the main window: the datagram handler and the
// silence detector over one shared ModeState. The settings are held by
// reference, so they may be read after the Monitor is built (start-up fills
// them before the first datagram or tick can arrive).
class Monitor {
public:
    Monitor(const Settings& settings, const MonitorPorts& ports);
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    const ModeState& state() const { return m_state; }

    // One datagram from the server, the whole payload.
    void Winsock1_DataArrival(const QByteArray& payload);
    // The socket failed to deliver a datagram (Windows Sockets code): the
    // datagram handler's error path, silent for 10054.
    void Winsock1_Error(int code);
    // The one-second tick.
    void tmrSN_Timer();

    bool inTick() const { return m_detector.inTick(); }

    // The run has ended ("Program Closed" is logged): from now on nothing is
    // shown, sent or logged, not even by a tick that is in its middle now.
    void shutDown();

private:
    bool m_ended = false;
    ModeState m_state;
    ErrorReporter m_errors;
    ModeHandler m_handler;
    SilenceDetector m_detector;
};
