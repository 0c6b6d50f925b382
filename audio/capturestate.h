#pragma once

#include "audio/audioring.h"
#include "audio/captureevents.h"
#include "audio/devicelist.h"
#include "audio/dynamicssecond.h"
#include "audio/peakhistory.h"

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <memory>
#include <mutex>

// What the audio thread hands to the user-interface thread: through atomics
// the levels of the latest block, when it came, and the device list; the
// rare events (audio flows, a failure, a new list) through the CaptureEvents
// given, which queue them. The audio thread is the only writer; readers on
// any thread never wait and never see a half-written value.
class CaptureState {
public:
    // events (may be null) must outlive the state's writers.
    explicit CaptureState(CaptureEvents* events = nullptr) : m_events(events) {}

    // A capture that delivered no block for this long reads 0 on both
    // channels: a stalled or vanished device must look like silence, so
    // that an armed alarm still fires.
    static constexpr qint64 staleMs = 1500;
    // What a capture delivers besides levels, where it knows: a stream's
    // codec and rate. Empty for a sound card.
    struct Format {
        QString codec;      // FFmpeg's short name: "mp3", "opus", …
        int sampleRate = 0; // of the decoded audio, frames per second
    };

    // Milliseconds on the monotonic clock, the same on every thread.
    static qint64 nowMs();

    // --- owner's thread
    // Tags the events of the capture attempt that starts now, so that late
    // news of an earlier one can be told apart.
    void setGeneration(quint32 generation) {
        m_generation.store(generation, std::memory_order_release);
    }

    // The gap in blocks after which the levels read 0 (staleMs unless a
    // capture whose audio arrives in bursts, a network stream, asks for
    // more). Set before capture starts.
    void setStaleMs(qint64 ms) { m_staleMs.store(ms, std::memory_order_release); }
    qint64 lossAfterMs() const { return m_staleMs.load(std::memory_order_acquire); }

    // --- audio thread
    // levels are percent 0..100 (audio/levelmath.h): the highest block peak
    // of the last second and the latest block's peak, per channel.
    void blockMeasured(int left, int right, int instantLeft, int instantRight);
    // The same, read off the history of block peaks that a back-end keeps.
    void blockMeasured(const PeakHistory& history);
    // The capture attempt failed or the flowing capture stopped: the levels
    // read 0 from now on, until the next block.
    void captureFailed(CaptureLoss why = CaptureLoss::Device);
    // The format of the audio now decoded (a stream's codec and rate).
    void setFormat(const Format& format);
    // Capture was closed on request: the levels read 0, and that is no failure.
    void captureStopped();
    // The dynamics meter judged the last second of audio.
    void secondJudged(const DynamicsSecond& second);
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

    // The latest judgement of the programme's dynamics; not valid while no
    // block comes, before the first second was judged, and while the meter
    // is off. Figures to 0.01 dB.
    DynamicsSecond dynamics() const;

    Format format() const;

    // When the last block came (monotonic ms); 0 before the first.
    qint64 lastBlockMs() const { return m_lastBlockMs.load(std::memory_order_acquire); }

    // The last seconds of the audio itself: the audio thread writes every
    // delivery into it, any thread may copy from it.
    AudioRing& ring() { return m_ring; }
    const AudioRing& ring() const { return m_ring; }

private:
    int read(int channel, int slot) const;

    // Four levels of 8 bits: left, right, instant left, instant right.
    std::atomic<quint32> m_levels{0};
    std::atomic<qint64> m_lastBlockMs{0};
    std::atomic<bool> m_haveBlock{false};
    // The latest DynamicsSecond packed: valid, steady, peak, spread, repeat.
    std::atomic<quint64> m_dynamics{0};
    CaptureEvents* m_events = nullptr;
    std::atomic<quint32> m_generation{0};
    bool m_flowing = false; // the audio thread's own: blocks arrive in this attempt
    std::atomic<std::shared_ptr<const CaptureDeviceList>> m_devices{
        std::make_shared<const CaptureDeviceList>()};
    std::atomic<bool> m_answered{false};
    std::atomic<bool> m_serverReached{false};
    std::atomic<qint64> m_staleMs{staleMs};
    mutable std::mutex m_formatMutex; // held for a copy only
    Format m_format;
    AudioRing m_ring;
};
