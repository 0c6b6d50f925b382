#pragma once

#include <QtGlobal>

#include <atomic>
#include <chrono>

// The latest measurement, written by the capture thread and read by the UI
// thread. Plain atomics: readers never wait for the capture thread.
struct CaptureLevels {
    // After this long without a block the levels read 0: a stalled or vanished
    // device must look like silence, so that an armed alarm still fires.
    static constexpr qint64 staleMs = 1500;

    std::atomic<int> level[2] = {0, 0};   // highest block peak of the last second
    std::atomic<int> instant[2] = {0, 0}; // latest block peak
    std::atomic<qint64> lastBlockMs{-1};  // monotonic ms of the latest block, -1 none

    static qint64 nowMs() {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    bool fresh() const {
        const qint64 last = lastBlockMs.load(std::memory_order_acquire);
        return last >= 0 && nowMs() - last <= staleMs;
    }

    void clear() {
        for (int c = 0; c < 2; ++c) {
            level[c].store(0, std::memory_order_relaxed);
            instant[c].store(0, std::memory_order_relaxed);
        }
        lastBlockMs.store(-1, std::memory_order_release);
    }
};
