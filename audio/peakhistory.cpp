#include "audio/peakhistory.h"

#include <algorithm>

void PeakHistory::reset(const levelmath::SampleFormat& format) {
    m_format = format;
    m_frameBytes = format.bytesPerFrame();
    const int rate = std::max(1, format.sampleRate);
    m_blockFrames = std::max(1, rate * blockMs / 1000);
    m_carry.clear();
    m_partialFrames = 0;
    m_partial = {};
    m_lastBlock = {};
    m_ring.assign(std::size_t(std::max(1, windowMs / blockMs)), levelmath::ChannelPeaks{});
    m_next = 0;
}

int PeakHistory::add(const char* data, qsizetype bytes) {
    if (m_frameBytes <= 0 || !data || bytes <= 0)
        return 0;
    int completed = 0;
    auto feed = [&](const char* p, qsizetype frames) {
        while (frames > 0) {
            const qsizetype take = std::min(frames, qsizetype(m_blockFrames) - m_partialFrames);
            addFrames(p, take);
            p += take * m_frameBytes;
            frames -= take;
            if (m_partialFrames == m_blockFrames) {
                finishBlock();
                ++completed;
            }
        }
    };

    if (!m_carry.isEmpty()) {
        const qsizetype need = std::min(qsizetype(m_frameBytes) - m_carry.size(), bytes);
        m_carry.append(data, need);
        data += need;
        bytes -= need;
        if (m_carry.size() == m_frameBytes) {
            feed(m_carry.constData(), 1);
            m_carry.clear();
        }
    }
    const qsizetype frames = bytes / m_frameBytes;
    feed(data, frames);
    const qsizetype rest = bytes - frames * m_frameBytes;
    if (rest > 0)
        m_carry.append(data + frames * m_frameBytes, rest);
    return completed;
}

void PeakHistory::addFrames(const char* data, qsizetype frames) {
    const auto peaks = levelmath::blockPeaks(data, frames * m_frameBytes, m_format);
    m_partial.left = std::max(m_partial.left, peaks.left);
    m_partial.right = std::max(m_partial.right, peaks.right);
    m_partialFrames += frames;
}

void PeakHistory::finishBlock() {
    m_lastBlock = m_partial;
    m_ring[m_next] = m_partial;
    m_next = (m_next + 1) % m_ring.size();
    m_partial = {};
    m_partialFrames = 0;
}

levelmath::ChannelPeaks PeakHistory::windowPeak() const {
    levelmath::ChannelPeaks high;
    for (const auto& block : m_ring) {
        high.left = std::max(high.left, block.left);
        high.right = std::max(high.right, block.right);
    }
    return high;
}

levelmath::ChannelPeaks PeakHistory::recentPeak(int blocks) const {
    levelmath::ChannelPeaks high;
    const std::size_t size = m_ring.size();
    const std::size_t n = std::min(size, std::size_t(std::max(0, blocks)));
    for (std::size_t k = 1; k <= n; ++k) {
        const auto& block = m_ring[(m_next + size - k) % size];
        high.left = std::max(high.left, block.left);
        high.right = std::max(high.right, block.right);
    }
    return high;
}
