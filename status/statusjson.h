#pragma once

#include "status/statusclips.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

class StatusTimeline;
struct StatusSnapshot;

// The JSON documents of the status server, compact UTF-8.
namespace StatusJson {
// /status.json: the station state (every field is listed in docs/status.md).
// nowMs on the monotonic clock of StatusSnapshot::publishedMs, for the
// health (StatusHealth); by default the snapshot's own time.
QByteArray status(const StatusSnapshot& snapshot, qint64 nowMs = -1);
// /timeline.json: the filled minutes of the last 24 hours up to nowMinute
// (minutes since the epoch, UTC), oldest first.
QByteArray timeline(const StatusTimeline& timeline, qint64 nowMinute);
// /clips.json: the clips given, in that order, with their sizes and the
// path to fetch each, relative to the page.
QByteArray clips(const QList<StatusClips::Clip>& clips);
// The capture phase as the outputs name it: "capturing", "lost", "waiting".
QString capturePhaseName(int phase);
} // namespace StatusJson
