#pragma once

#include "audio/levelmath.h"

#include <QByteArray>
#include <vector>

// Splits a stream of captured audio into fixed blocks and remembers the peak
// of each block over a window measured in samples of the audio itself (not
// wall-clock time), so a late or bunched delivery from the driver neither
// shortens nor stretches the window.
class PeakHistory {
public:
    static constexpr int blockMs = 20;
    static constexpr int windowMs = 1000;

    // Starts over for a stream of this format; forgets every block.
    void reset(const levelmath::SampleFormat& format);

    // Feeds interleaved samples in the format given to reset(). Buffers need
    // not hold whole frames or whole blocks. Returns the number of blocks
    // completed by this buffer.
    int add(const char* data, qsizetype bytes);

    // Highest block peak per channel over the last windowMs of audio.
    levelmath::ChannelPeaks windowPeak() const;
    // Peak of the last completed block.
    levelmath::ChannelPeaks lastBlockPeak() const { return m_lastBlock; }
    // Highest block peak per channel over the last `blocks` completed
    // blocks (at most the window's).
    levelmath::ChannelPeaks recentPeak(int blocks) const;

private:
    void addFrames(const char* data, qsizetype frames);
    void finishBlock();

    levelmath::SampleFormat m_format;
    int m_frameBytes = 0;
    int m_blockFrames = 0;
    QByteArray m_carry; // bytes of a frame split across two buffers
    qsizetype m_partialFrames = 0;
    levelmath::ChannelPeaks m_partial;
    levelmath::ChannelPeaks m_lastBlock;
    std::vector<levelmath::ChannelPeaks> m_ring; // one entry per block of the window
    std::size_t m_next = 0;
};
