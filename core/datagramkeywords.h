#pragma once

#include <QLatin1StringView>

#include <array>

// Every keyword of the link, in both directions: the server's eight and the
// alarm. Counts of received datagrams are kept per keyword and one more for
// anything else, so that outputs labelled by keyword stay bounded whatever
// arrives on the port.
inline constexpr std::array<QLatin1StringView, 9> DatagramKeywords{
    QLatin1StringView("SN_AUTO"),     QLatin1StringView("SN_LIVE"),
    QLatin1StringView("SN_FEED_1"),   QLatin1StringView("SN_FEED_2"),
    QLatin1StringView("SN_FEED_3"),   QLatin1StringView("SN_FEED_4"),
    QLatin1StringView("SN_PAUSE_ON"), QLatin1StringView("SN_PAUSE_OFF"),
    QLatin1StringView("SN_ALARM"),
};
