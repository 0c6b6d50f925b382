#pragma once

#include <QString>
#include <QtGlobal>

// Where the station stands, besides the source on air.
enum class StationPhase {
    Watching, // the source on air is shown (and watched while the tick runs)
    Alarm,    // an alarm was decided; it stands until a datagram replaces it
    Paused,   // the automation paused by "SN_PAUSE_ON", its tick stopped
};

// What the status line shows: the phase, and in the watching phase the
// source's text, or nothing at all once a "SN_PAUSE_OFF" restored what a
// pause that never was had saved.
struct ShownStatus {
    StationPhase phase = StationPhase::Watching;
    bool blank = false;
    friend bool operator==(const ShownStatus&, const ShownStatus&) = default;
};

// The monitoring state driven by the server's datagrams and the tick. All
// fields start at zero or empty.
struct ModeState {
    // ModeNone, ModeLive, or a monitored source's code (MonitoredSources).
    qint16 Mode = 0;
    // Level threshold of the source on air (percent); silent is below half.
    qint16 ArmedVol = 0;
    // Time limit of the source on air, in ticks of one second.
    qint16 ArmedTime = 0;
    // Consecutive silent ticks.
    qint16 SilenceCount = 0;
    // What the status line showed when a pause began, restored on resume;
    // nothing before the first pause.
    ShownStatus SavedStatus{StationPhase::Watching, true};
    // Payload of the datagram being (or last) handled, one char per byte.
    QString LastDatagram;
};
