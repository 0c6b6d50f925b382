#pragma once

#include "core/stationstate.h"

#include <QList>
#include <QtGlobal>

#include <array>

// The last 24 hours, one slot per minute of the wall clock: each channel's
// lowest and highest level, the armed threshold, the source on air and the
// alarm. A fixed ring of 1440 small slots (about 35 KB); a slot is reused
// when its minute comes round again the next day.
class StatusTimeline {
public:
    static constexpr int minutes = 24 * 60;

    struct Minute {
        qint64 minute = -1; // minutes since the epoch (UTC); -1: never filled
        quint8 minLeft = 0;
        quint8 maxLeft = 0;
        quint8 minRight = 0;
        quint8 maxRight = 0;
        qint16 armedVol = 0;    // percent; silent is below half of it
        qint16 mode = 0;        // ModeState::Mode at the end of the minute
        bool monitored = false; // the tick ran at some time in the minute
        bool alarm = false;     // the alarm stood at some time in the minute
        bool raised = false;    // an alarm was decided in the minute
        bool restored = false;  // a standing alarm was cleared in the minute
    };

    // One sample of the levels (percent) and the state, at wall-clock
    // minute `minute`. Samples of an earlier minute than the latest are
    // dropped (the clock was set back).
    void add(qint64 minute, int left, int right, const StationState& state);
    void markRaised(qint64 minute);
    void markRestored(qint64 minute);

    // The filled minutes of the 24 hours up to nowMinute, oldest first.
    QList<Minute> window(qint64 nowMinute) const;

private:
    Minute& slot(qint64 minute);

    std::array<Minute, minutes> m_slots{};
    qint64 m_latest = -1;
};
