#pragma once

#include "settings/monitoredsources.h"
#include "settings/settings.h"

#include <QLatin1StringView>
#include <QtGlobal>

#include <array>

// The steady-signal time of each monitored source: its mode, its key in the
// section "Audio" and its field in Settings, in the order of
// MonitoredSources.
struct FlatLimit {
    qint16 mode;
    QLatin1StringView key;
    qint16 Settings::*seconds;
};

extern const std::array<FlatLimit, MonitoredSourceCount> FlatLimits;

// The steady-signal time of the source on air in mode; 0 for LIVE, none yet
// and unknown modes.
qint16 flatLimitFor(const Settings& settings, qint16 mode);
