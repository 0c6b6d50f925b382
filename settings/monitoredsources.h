#pragma once

#include "settings/settings.h"

#include <QLatin1StringView>
#include <QtGlobal>

#include <array>
#include <cstddef>

// One source the server can put on air and Sondral watches for silence: the
// automation or one of the four feeds. The live studio is never watched and
// has no row. Everything that names such a source reads it from here: the
// datagram handler, SettingsFile and the audio settings dialog.
struct MonitoredSource {
    QLatin1StringView keyword;    // the server's datagram, matched exactly
    qint16 mode;                  // ModeState::Mode while it is on air
    QLatin1StringView statusText; // shown in the main window
    QLatin1StringView logText;    // the event log line when it goes on air

    // Keys of the section "Audio". The time key is read with a small t and
    // written with a capital T; names match without regard to letter case,
    // so both name the same key, and the file keeps the written spelling.
    QLatin1StringView thresholdKey;
    QLatin1StringView timeKeyRead;
    QLatin1StringView timeKeyWritten;
    qint16 Settings::*threshold; // percent on the level scale
    qint16 Settings::*timeLimit; // seconds

    // The audio settings dialog: the frame's caption and the object names of
    // its threshold and time editors.
    QLatin1StringView frameCaption;
    QLatin1StringView thresholdEditor;
    QLatin1StringView timeEditor;
};

// In the order the handler tests the keywords, SettingsFile reads and
// writes the keys, and the dialog shows its frames.
inline constexpr std::size_t MonitoredSourceCount = 5;
extern const std::array<MonitoredSource, MonitoredSourceCount> MonitoredSources;
