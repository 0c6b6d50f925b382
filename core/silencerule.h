#pragma once

// The rule for one channel in one second: silent while its level (percent on
// the meters' scale) is below half the armed threshold, the half taken in
// double precision without rounding (a threshold of 25 gives 12.5). With a
// threshold of 0 nothing is ever silent. The monitor and the survey tool
// judge seconds with this one function.
inline bool isSilentLevel(int threshold, int level) {
    return threshold / 2.0 > level;
}
