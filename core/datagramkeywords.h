#pragma once

#include "settings/monitoredsources.h"

#include <QLatin1StringView>

#include <array>

// Every keyword of the link, in both directions: the server's (the
// automation, the live studio, the feeds, the pause and its end) and the
// alarm, in the order the server's keywords are listed. Counts of received
// datagrams are kept per keyword and one more for anything else, so that
// outputs labelled by keyword stay bounded whatever arrives on the port.
inline constexpr std::array<QLatin1StringView, MonitoredSourceCount + 4> DatagramKeywords = [] {
    std::array<QLatin1StringView, MonitoredSourceCount + 4> keywords{};
    std::size_t i = 0;
    keywords[i++] = MonitoredSources[0].keyword;
    keywords[i++] = LiveKeyword;
    for (std::size_t row = 1; row < MonitoredSourceCount; ++row)
        keywords[i++] = MonitoredSources[row].keyword;
    keywords[i++] = PauseOnKeyword;
    keywords[i++] = PauseOffKeyword;
    keywords[i++] = AlarmKeyword;
    return keywords;
}();
