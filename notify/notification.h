#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QProcessEnvironment>
#include <QString>

// One thing people are told, in the form every path sends it: the event's
// machine name ("alarm", "restored", "capture_lost", "capture_back",
// "started", "closed", "test", "channel_lost", "channel_back"), the source
// on air as its keyword without "SN_" (empty before the first datagram), the
// seconds of silence (counted at the alarm, the outage's length at the
// restore, 0 otherwise), when, the station's name and one English sentence
// for people. The outage's events also say why it began, the channel events
// which channel; the other events leave those empty, and what is empty is
// not sent.
struct Notification {
    QString event;
    QString source;
    int silenceSeconds = 0;
    QDateTime time;
    QString station;
    QString text;
    QString reason;  // "silence" or "steady_signal"
    QString channel; // "left" or "right"

    // ISO 8601 with the offset from UTC ("2026-03-05T09:07:04+01:00").
    QString isoTime() const;
    // {"event", "source", "silence_seconds", "time", "station", "text"},
    // with "reason" and "channel" when set.
    QByteArray toJson() const;
    // base with SONDRAL_EVENT, SONDRAL_SOURCE, SONDRAL_SILENCE_SECONDS,
    // SONDRAL_TIME, SONDRAL_STATION and SONDRAL_TEXT set, and SONDRAL_REASON
    // and SONDRAL_CHANNEL when set.
    QProcessEnvironment environment(const QProcessEnvironment& base) const;
};
