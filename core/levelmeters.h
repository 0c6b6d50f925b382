#pragma once

// The two channel level meters as the monitoring logic sees them. Levels and
// thresholds are percentages 0..100 on one scale; the 16-bit settings are
// widened to int before they are handed over.
class LevelMeters {
public:
    virtual ~LevelMeters() = default;
    virtual int leftLevel() = 0;
    virtual int rightLevel() = 0;
    virtual void setLeftThreshold(int percent) = 0;
    virtual void setRightThreshold(int percent) = 0;
};
