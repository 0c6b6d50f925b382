#pragma once

#include "core/levelmeters.h"

#include <functional>

class LevelMeter;

// The detector's view of the levels: it reads them straight from a level
// source (the capture's one-second peaks, WaveIn::level), and the armed
// threshold goes to the two meters' markers. Percent 0..100 throughout.
class CaptureLevels : public LevelMeters {
public:
    // channel 0 is left, 1 right.
    using Source = std::function<int(int channel)>;

    CaptureLevels(Source source, LevelMeter& left, LevelMeter& right);

    int leftLevel() override { return m_source(0); }
    int rightLevel() override { return m_source(1); }
    void setLeftThreshold(int percent) override;
    void setRightThreshold(int percent) override;

private:
    Source m_source;
    LevelMeter& m_left;
    LevelMeter& m_right;
};
