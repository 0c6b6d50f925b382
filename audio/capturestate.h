#pragma once

#include "audio/devicelist.h"
#include "audio/peakhistory.h"

#include <QtGlobal>

#include <atomic>
#include <memory>

// What the audio thread hands to the user-interface thread, through atomics
// only: the levels of the latest block, when it came, how capture is faring,
// and the device list. The audio thread is the only writer; readers on any
// thread never wait and never see a half-written value.
class CaptureState {
public:
    // A capture that delivered no block for this long reads 0 on both
    // channels: a stalled or vanished device must look like silence, so
    // that an armed alarm still fires.
    static constexpr qint64 staleMs = 1500;

    // Milliseconds on the monotonic clock, the same on every thread.
    static qint64 nowMs();

    // --- audio thread
    // levels are percent 0..100 (audio/levelmath.h): the highest block peak
    // of the last second and the latest block's peak, per channel.
    void blockMeasured(int left, int right, int instantLeft, int instantRight);
    // The same, read off the history of block peaks that a back-end keeps.
    void blockMeasured(const PeakHistory& history);
    // The capture attempt failed or the flowing capture stopped: the levels
    // read 0 from now on, until the next block.
    void captureFailed();
    // Capture was closed on request: the levels read 0, and that is no failure.
    void captureStopped();
    // A new list (the sound server answered), or an empty one with
    // serverReached false when there is no sound server.
    void publishDevices(CaptureDeviceList devices, bool serverReached = true);

    // --- any thread
    int level(int channel) const { return read(channel, 0); }
    int instantLevel(int channel) const { return read(channel, 2); }
    // Blocks arrive: the last one came less than staleMs ago.
    bool delivering() const;
    // Never null; empty until the sound server first answered.
    std::shared_ptr<const CaptureDeviceList> devices() const;
    // The sound server answered at least once, or refused the connection.
    bool answered() const { return m_answered.load(std::memory_order_acquire); }
    // The latest list came from a sound server (false: none could be reached).
    bool serverReached() const { return m_serverReached.load(std::memory_order_acquire); }

    // How capture has fared: counts of failures and of (re)starts of the
    // flow of blocks, and whether blocks flow now. One word, so that a
    // reader sees the three at one instant.
    struct Progress {
        quint32 failures = 0;
        quint32 flows = 0;
        bool flowing = false;
    };
    Progress progress() const;

private:
    int read(int channel, int slot) const;
    void setProgress(const Progress& progress);

    // Four levels of 8 bits: left, right, instant left, instant right.
    std::atomic<quint32> m_levels{0};
    std::atomic<qint64> m_lastBlockMs{0};
    std::atomic<bool> m_haveBlock{false};
    // failures (bits 33..63), flows (bits 1..32), flowing (bit 0)
    std::atomic<quint64> m_progress{0};
    Progress m_written; // the audio thread's own copy of m_progress
    std::atomic<std::shared_ptr<const CaptureDeviceList>> m_devices{
        std::make_shared<const CaptureDeviceList>()};
    std::atomic<bool> m_answered{false};
    std::atomic<bool> m_serverReached{false};
};
