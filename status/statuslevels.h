#pragma once

#include <QtGlobal>

// The capture's levels as the status outputs show them, sampled on the UI
// thread. Percent 0..100 on the meters' scale.
struct StatusLevels {
    // What the silence check reads now: the highest block peak of the last
    // second, per channel.
    int left = 0;
    int right = 0;
    // What a meter bar shows: the peak of the latest block (about 20 ms
    // while someone watches).
    int meterLeft = 0;
    int meterRight = 0;
    // When the capture last delivered a block, monotonic ms; 0 before the
    // first.
    qint64 lastBlockMs = 0;
};
