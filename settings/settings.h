#pragma once

#include "settings/monitoredsourcerows.h"

#include <QString>
#include <QtGlobal>

// The configuration of one run, read once at start-up by SettingsFile and
// only read afterwards. Field names follow the keys of sondral.ini; the time
// limits are in seconds, the thresholds in percent on the level scale.
struct Settings {
    qint16 Card = 0;
    // The sound server's own name of the input chosen in the Audio dialog
    // (as `pactl list short sources` shows it); empty when none was saved.
    QString CardName;
    // [Audio] Url: a network stream to watch in place of the sound card
    // (Card and CardName are then ignored); empty: the sound card.
    QString Url;
    // Per monitored source (settings/monitoredsourcerows.h), e.g. AutoVol,
    // Autotime, AutoFlat and Feed1Vol .. Feed4Flat:
    // * Vol: the level threshold (percent on the level scale);
    // * time: the time limit (seconds);
    // * Flat ([Audio] AutoFlat, Feed1Flat ..): seconds of a steady signal
    //   (loud enough, but without the dynamics of programme: a hum, hiss, a
    //   tone, a short loop) after which the source raises the alarm as for
    //   silence; 0 (the default) leaves only the silence rule.
#define SONDRAL_SOURCE_SETTINGS(name, mode, statusText, logText, pausable, field, ...)             \
    qint16 field##Vol = 0;                                                                         \
    qint16 field##time = 0;                                                                        \
    qint16 field##Flat = 0;
    SONDRAL_MONITORED_SOURCES(SONDRAL_SOURCE_SETTINGS)
#undef SONDRAL_SOURCE_SETTINGS
    QString RemoteName;
    qint32 RemotePort = 0;
    qint32 HostPort = 0;
    bool Log = false;

    // [Station] Name: how every output that names the station calls it;
    // the host name when the key is missing or empty.
    QString StationName;

    // [Notify]: who else hears of the outage, and how its end is judged.
    QString NotifyCommand; // a program and its arguments, run for each event
    QString NotifyUrl;     // gets each event as JSON by POST
    QString NotifyToken;   // sent to NotifyUrl as a bearer token
    QString HeartbeatUrl;  // fetched with GET while the monitoring works
    qint32 HeartbeatSeconds = 60;
    qint32 RepeatMinutes = 0; // 0: the alarm of an outage is told once
    qint32 RestoreTime = 3;   // loud seconds in a row that end an outage
    bool LogRestore = false;  // the event log records the restore

    struct Range {
        qint32 minimum;
        qint32 maximum;
    };
    static constexpr Range HeartbeatSecondsRange{5, 86400};
    static constexpr Range RepeatMinutesRange{0, 10080};
    static constexpr Range RestoreTimeRange{1, 3600};
    // [Status]: the read-only status page, JSON and metrics over HTTP.
    // StatusPort 0 (or missing): no port is opened. StatusBind is the
    // address to listen on, "*" for every address.
    qint32 StatusPort = 0;
    QString StatusBind = QStringLiteral("127.0.0.1");
    static constexpr qint16 MaximumFlatSeconds = 3600;

    // [Notify] ChannelTime: seconds one channel may stay below the half
    // threshold while the other does not before it is reported lost; 0 off.
    // SettingsFile gives DefaultChannelTime when the key is missing or empty;
    // a Settings made in code starts with it off.
    qint16 ChannelTime = 0;
    static constexpr qint16 DefaultChannelTime = 30;
    static constexpr qint16 MaximumChannelTime = 3600;

    // Thresholds and time limits are held to this range for a run.
    static constexpr qint16 MinimumPercentOrSeconds = 0;
    static constexpr qint16 MaximumPercentOrSeconds = 100;
    static constexpr qint32 MinimumPort = 1;
    static constexpr qint32 MaximumPort = 65535;
    static bool isPort(qint64 value) {
        return value >= MinimumPort && value <= MaximumPort;
    }

    // The socket is set up only when all three link values are usable.
    bool linkComplete() const {
        return !RemoteName.isEmpty() && isPort(RemotePort) && isPort(HostPort);
    }
};
