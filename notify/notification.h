#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QProcessEnvironment>
#include <QString>

// One thing people are told, in the form every path sends it: the event's
// machine name ("alarm", "restored", "capture_lost", "capture_back",
// "started", "closed", "test"), the source on air as its keyword without
// "SN_" (empty before the first datagram), the seconds of silence (counted
// at the alarm, the outage's length at the restore, 0 otherwise), when, the
// station's name and one English sentence for people.
struct Notification {
    QString event;
    QString source;
    int silenceSeconds = 0;
    QDateTime time;
    QString station;
    QString text;

    // ISO 8601 with the offset from UTC ("2026-03-05T09:07:04+01:00").
    QString isoTime() const;
    // {"event", "source", "silence_seconds", "time", "station", "text"}.
    QByteArray toJson() const;
    // base with SONDRAL_EVENT, SONDRAL_SOURCE, SONDRAL_SILENCE_SECONDS,
    // SONDRAL_TIME, SONDRAL_STATION and SONDRAL_TEXT set.
    QProcessEnvironment environment(const QProcessEnvironment& base) const;
};
