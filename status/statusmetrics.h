#pragma once

#include <QByteArray>
#include <QtGlobal>

struct StatusSnapshot;

// /metrics: the Prometheus text exposition format 0.0.4. Every name starts
// with "sondral_", is in base units and has its HELP and TYPE; labels take a
// bounded set of values (the kinds of event, the link's keywords and
// "other", the two channels, the sources).
namespace StatusMetrics {
// nowMs on the monotonic clock of StatusSnapshot::publishedMs, for the
// health series (StatusHealth).
QByteArray render(const StatusSnapshot& snapshot, qint64 nowMs);
inline constexpr char contentType[] = "text/plain; version=0.0.4; charset=utf-8";
} // namespace StatusMetrics
