#pragma once

// The gauge of consecutive silent seconds: maximum is the armed time limit,
// position the current count.
class SilenceGauge {
public:
    virtual ~SilenceGauge() = default;
    virtual void setMaximum(int maximum) = 0;
    virtual void setPosition(int position) = 0;
};
