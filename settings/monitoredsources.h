#pragma once

#include "settings/monitoredsourcerows.h"
#include "settings/settings.h"

#include <QLatin1StringView>
#include <QtGlobal>

#include <array>
#include <cstddef>

// One source the server can put on air and Sondral watches for silence, as
// a row of MonitoredSources, made from its row in monitoredsourcerows.h.
// Everything that names such a source reads it from here: the datagram
// handler, the station state's texts and names, SettingsFile, the audio
// settings dialog and the counts of datagrams per keyword.
struct MonitoredSource {
    QLatin1StringView keyword;    // the server's datagram, matched exactly
    qint16 mode;                  // ModeState::Mode while it is on air
    QLatin1StringView name;       // the keyword without "SN_": status page, metrics, notifications
    QLatin1StringView statusText; // shown in the main window
    QLatin1StringView logText;    // the event log line when it goes on air
    bool pausable;                // "SN_PAUSE_ON" and "SN_PAUSE_OFF" act on it

    // Keys of the section "Audio". The time key is read with a small t and
    // written with a capital T; names match without regard to letter case,
    // so both name the same key, and the file keeps the written spelling.
    // The steady-signal (Flat) key is read only: no dialog writes it.
    QLatin1StringView thresholdKey;
    QLatin1StringView timeKeyRead;
    QLatin1StringView timeKeyWritten;
    QLatin1StringView flatKey;
    qint16 Settings::*threshold;   // percent on the level scale
    qint16 Settings::*timeLimit;   // seconds
    qint16 Settings::*flatSeconds; // seconds of a steady signal; 0 off

    // The audio settings dialog: the frame's caption and the object names of
    // its threshold and time editors.
    QLatin1StringView frameCaption;
    QLatin1StringView thresholdEditor;
    QLatin1StringView timeEditor;
};

// What else is on air or said on the link: nothing yet, the live studio
// (shown, never watched), the pause of the automation, and the alarm.
inline constexpr qint16 ModeNone = 0;
inline constexpr qint16 ModeLive = 1;
inline constexpr QLatin1StringView LiveKeyword{"SN_LIVE"};
inline constexpr QLatin1StringView LiveName{"LIVE"};
inline constexpr QLatin1StringView LiveStatusText{"LIVE"};
inline constexpr QLatin1StringView LiveLogText{"Server Running LIVE"};
inline constexpr QLatin1StringView PauseOnKeyword{"SN_PAUSE_ON"};
inline constexpr QLatin1StringView PauseOffKeyword{"SN_PAUSE_OFF"};
inline constexpr QLatin1StringView AlarmKeyword{"SN_ALARM"};

// The rows of SONDRAL_MONITORED_SOURCES (settings/monitoredsourcerows.h),
// in its order.
#define SONDRAL_MONITORED_SOURCE(name, mode, statusText, logText, pausable, field, frameCaption,   \
                                 thresholdEditor, timeEditor)                                      \
    MonitoredSource{QLatin1StringView("SN_" #name),                                                \
                    mode,                                                                          \
                    QLatin1StringView(#name),                                                      \
                    QLatin1StringView(statusText),                                                 \
                    QLatin1StringView(logText),                                                    \
                    pausable,                                                                      \
                    QLatin1StringView(#field "Vol"),                                               \
                    QLatin1StringView(#field "time"),                                              \
                    QLatin1StringView(#field "Time"),                                              \
                    QLatin1StringView(#field "Flat"),                                              \
                    &Settings::field##Vol,                                                         \
                    &Settings::field##time,                                                        \
                    &Settings::field##Flat,                                                        \
                    QLatin1StringView(frameCaption),                                               \
                    QLatin1StringView(thresholdEditor),                                            \
                    QLatin1StringView(timeEditor)},
inline constexpr std::array MonitoredSources{SONDRAL_MONITORED_SOURCES(SONDRAL_MONITORED_SOURCE)};
#undef SONDRAL_MONITORED_SOURCE
inline constexpr std::size_t MonitoredSourceCount = MonitoredSources.size();

// The row of the source on air in mode; nullptr for none yet, LIVE and
// unknown codes.
const MonitoredSource* monitoredSourceOf(qint16 mode);
