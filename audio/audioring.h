#pragma once

#include "audio/levelmath.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

// The last seconds of captured audio, as 16-bit stereo frames (a mono input
// on both channels), for whoever wants to keep the sound around an event.
// One writer, the audio thread (or whoever holds its loop's lock), which
// never waits: each frame is one relaxed atomic store into a ring allocated
// once, announced before and published after. Readers on any
// thread copy what they need and find out afterwards which of the copied
// frames the writer may have overwritten meanwhile; those are not returned.
//
// Frames are numbered from the ring's construction on, without gaps: a stop
// of the capture leaves none in the numbering, so what a reader gets is what
// was heard, not wall-clock time. A new stream at another rate starts a new
// run of frames (currentRun()); frames of different rates never mix in a
// copy, and those of an earlier run are gone once a new one begins.
//
// The memory is taken once, for 12 s at 96 kHz, but a run uses only what
// 12 s at its own rate need (spanOf()). The pages beyond are never written,
// so at 48 kHz the ring costs half its size in resident memory.
class AudioRing {
public:
    static constexpr int capacityMs = 12000;
    static constexpr int maxRate = 96000;
    static constexpr qint64 capacityFrames = qint64(maxRate) * capacityMs / 1000;
    // How many frames a run at this rate keeps: capacityMs of them, at most
    // capacityFrames (a rate above maxRate keeps less time).
    static constexpr qint64 spanOf(int rate) {
        return rate <= 0 ? capacityFrames
                         : std::min(capacityFrames, qint64(rate) * capacityMs / 1000);
    }

    AudioRing();
    ~AudioRing();
    AudioRing(const AudioRing&) = delete;
    AudioRing& operator=(const AudioRing&) = delete;

    // --- writer
    // The stream that follows has this format; a rate other than the
    // current one starts a new run. Allocates nothing.
    void reset(const levelmath::SampleFormat& format);
    // Interleaved samples in the format of reset(); buffers need not hold
    // whole frames. A format the ring cannot take (no channels) is skipped.
    void write(const char* data, qsizetype bytes);

    // --- any thread
    // Frames written since construction.
    quint64 written() const { return m_written.load(std::memory_order_acquire); }
    // When frames last came (CaptureState::nowMs()); 0 before the first.
    qint64 lastWriteMs() const { return m_lastWriteMs.load(std::memory_order_acquire); }
    struct Run {
        quint64 start = 0; // the first frame at this rate
        int rate = 0;      // frames per second; 0 before the first reset()
    };
    // The run the writer is in now.
    Run currentRun() const;
    // Copies frames [from, to) into out (2 samples each, left then right)
    // and returns the first frame of the copy that is still good: frames
    // before it were overwritten, were never written or belong to an
    // earlier run, and their places in out are to be ignored. to beyond
    // written() is clamped.
    quint64 copy(quint64 from, quint64 to, std::vector<qint16>& out) const;

private:
    // Stores one frame at slot and moves slot on.
    void putFrame(const char* frame, std::size_t& slot);

    // Left in the low 16 bits. Plain words reached through std::atomic_ref,
    // from calloc: fresh zero pages that cost nothing until written, where
    // an array of std::atomic would be zeroed, and so made resident, whole.
    quint32* m_frames = nullptr;
    std::atomic<quint64> m_written{0};
    // How far the writer is about to write: stored before the frames.
    std::atomic<quint64> m_claimed{0};
    std::atomic<qint64> m_lastWriteMs{0};
    // The run, published under a sequence count: odd while the writer
    // changes it, so a reader retries instead of seeing half of it.
    std::atomic<quint32> m_runSequence{0};
    std::atomic<quint64> m_runStart{0};
    std::atomic<int> m_runRate{0};

    // The writer's own.
    levelmath::SampleFormat m_format;
    quint64 m_spanStart = 0; // the current run's first frame
    std::size_t m_span = 0;  // its slots: spanOf(its rate)
    int m_frameBytes = 0;
    unsigned char m_carry[64]{}; // a frame split across two buffers
    int m_carryBytes = 0;
};
