#include "settings/flatlimits.h"

using namespace Qt::Literals::StringLiterals;

constexpr std::array<FlatLimit, MonitoredSourceCount> FlatLimits = {{
    {2, "AutoFlat"_L1, &Settings::AutoFlat},
    {3, "Feed1Flat"_L1, &Settings::Feed1Flat},
    {4, "Feed2Flat"_L1, &Settings::Feed2Flat},
    {5, "Feed3Flat"_L1, &Settings::Feed3Flat},
    {6, "Feed4Flat"_L1, &Settings::Feed4Flat},
}};

qint16 flatLimitFor(const Settings& settings, qint16 mode) {
    for (const FlatLimit& limit : FlatLimits) {
        if (limit.mode == mode)
            return settings.*limit.seconds;
    }
    return 0;
}
