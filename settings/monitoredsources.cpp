#include "settings/monitoredsources.h"

using namespace Qt::Literals::StringLiterals;

constexpr std::array<MonitoredSource, MonitoredSourceCount> MonitoredSources = {{
    {"SN_AUTO"_L1, 2, "AUTOMAAT"_L1, "Server Running AUTO"_L1, "AutoVol"_L1, "Autotime"_L1,
     "AutoTime"_L1, &Settings::AutoVol, &Settings::Autotime, "Automaat"_L1, "ledVolAuto"_L1,
     "ledTijdAuto"_L1},
    {"SN_FEED_1"_L1, 3, "FEED 1"_L1, "Server Running FEED 1"_L1, "Feed1Vol"_L1, "Feed1time"_L1,
     "Feed1Time"_L1, &Settings::Feed1Vol, &Settings::Feed1time, "Feed 1"_L1, "ledFeed1Vol"_L1,
     "ledFeed1Tijd"_L1},
    {"SN_FEED_2"_L1, 4, "FEED 2"_L1, "Server Running FEED 2"_L1, "Feed2Vol"_L1, "Feed2time"_L1,
     "Feed2Time"_L1, &Settings::Feed2Vol, &Settings::Feed2time, "Feed 2"_L1, "ledFeed2Vol"_L1,
     "ledFeed2Tijd"_L1},
    {"SN_FEED_3"_L1, 5, "FEED 3"_L1, "Server Running FEED 3"_L1, "Feed3Vol"_L1, "Feed3time"_L1,
     "Feed3Time"_L1, &Settings::Feed3Vol, &Settings::Feed3time, "Feed 3"_L1, "ledFeed3Vol"_L1,
     "ledFeed3Tijd"_L1},
    {"SN_FEED_4"_L1, 6, "FEED 4"_L1, "Server Running FEED 4"_L1, "Feed4Vol"_L1, "Feed4time"_L1,
     "Feed4Time"_L1, &Settings::Feed4Vol, &Settings::Feed4time, "Feed 4 (MD)"_L1, "ledFeed4Vol"_L1,
     "ledFeed4Tijd"_L1},
}};
