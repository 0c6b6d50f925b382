#pragma once

#include <QByteArray>

struct StatusSnapshot;

// /metrics: the Prometheus text exposition format 0.0.4. Every name starts
// with "sondral_", is in base units and has its HELP and TYPE; labels take a
// bounded set of values (the kinds of event, the link's keywords and
// "other", the two channels, the sources).
namespace StatusMetrics {
QByteArray render(const StatusSnapshot& snapshot);
inline constexpr char contentType[] = "text/plain; version=0.0.4; charset=utf-8";
} // namespace StatusMetrics
