#include "audio/dynamicsmeter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Sum of squares and peak of each of the first two channels over frames
// (full scale 1.0). One or two 16-bit channels, what the sound server
// delivers, take levelmath's packed path.
struct Sums {
    double squares[2] = {0, 0};
    double peak[2] = {0, 0};
};

template <typename T> double sampleValue(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::is_same_v<T, float>)
        return std::isfinite(v) ? std::clamp(double(v), -1.0, 1.0) : 0.0;
    else if constexpr (std::is_same_v<T, qint32>)
        return double(v) / 2147483648.0;
    else if constexpr (std::is_same_v<T, qint16>)
        return double(v) / 32768.0;
    else
        return (double(v) - 128.0) / 128.0; // unsigned 8-bit
}

template <typename T> Sums sumsOf(const char* data, qsizetype frames, int channels) {
    Sums out;
    const int measured = std::min(channels, 2);
    for (qsizetype i = 0; i < frames; ++i) {
        for (int c = 0; c < measured; ++c) {
            const double s = sampleValue<T>(data + (i * channels + c) * qsizetype(sizeof(T)));
            out.squares[c] += s * s;
            out.peak[c] = std::max(out.peak[c], std::abs(s));
        }
    }
    return out;
}

double toDb(double meanSquare) {
    return meanSquare > 1e-10 ? 10.0 * std::log10(meanSquare) : DynamicsMeter::floorDb;
}

} // namespace

void DynamicsMeter::reset(const levelmath::SampleFormat& format) {
    m_format = format;
    m_frameBytes = format.bytesPerFrame();
    if (m_frameBytes > int(m_carry.size()))
        m_frameBytes = 0; // a layout this meter does not take: it measures nothing
    m_channels = std::clamp(format.channels, 1, 2);
    m_stepFrames = std::max(1, std::max(1, format.sampleRate) * stepMs / 1000);
    m_carryBytes = 0;
    m_partialFrames = 0;
    m_partialSquares = {};
    m_partialPeak = {};
    m_stepSquares = {};
    for (auto& ring : m_envelope)
        ring.fill(qint32(floorDb * 100));
    m_squares = {};
    m_peaks = {};
    m_next = 0;
    m_steps = 0;
    m_judged = 0;
    m_judgeDue = false;
    m_latest = {};
}

int DynamicsMeter::add(const char* data, qsizetype bytes) {
    if (m_frameBytes <= 0 || !data || bytes <= 0)
        return 0;
    const qint64 judgedBefore = m_judged;
    auto feed = [this](const char* p, qsizetype frames) {
        while (frames > 0) {
            const qsizetype take = std::min(frames, qsizetype(m_stepFrames) - m_partialFrames);
            addFrames(p, take);
            p += take * m_frameBytes;
            frames -= take;
            if (m_partialFrames == m_stepFrames)
                finishStep();
        }
    };
    if (m_carryBytes > 0) {
        const int need = int(std::min<qsizetype>(m_frameBytes - m_carryBytes, bytes));
        std::memcpy(m_carry.data() + m_carryBytes, data, std::size_t(need));
        m_carryBytes += need;
        data += need;
        bytes -= need;
        if (m_carryBytes == m_frameBytes) {
            feed(m_carry.data(), 1);
            m_carryBytes = 0;
        }
    }
    const qsizetype frames = bytes / m_frameBytes;
    feed(data, frames);
    const qsizetype rest = bytes - frames * m_frameBytes;
    if (rest > 0) {
        std::memcpy(m_carry.data(), data + frames * m_frameBytes, std::size_t(rest));
        m_carryBytes = int(rest);
    }
    // Only the last judgement of a delivery is ever read: one is enough.
    if (m_judgeDue) {
        m_judgeDue = false;
        judge();
    }
    return int(m_judged - judgedBefore);
}

void DynamicsMeter::addFrames(const char* data, qsizetype frames) {
    Sums sums;
    switch (m_format.type) {
    case levelmath::SampleType::Int16:
        if (m_format.channels <= 2) {
            const levelmath::Int16Sums fast = levelmath::int16Sums(data, frames, m_format.channels);
            for (int c = 0; c < 2; ++c) {
                sums.squares[c] = fast.squares[c];
                sums.peak[c] = fast.peak[c];
            }
        } else {
            sums = sumsOf<qint16>(data, frames, m_format.channels);
        }
        break;
    case levelmath::SampleType::Int32:
        sums = sumsOf<qint32>(data, frames, m_format.channels);
        break;
    case levelmath::SampleType::Float:
        sums = sumsOf<float>(data, frames, m_format.channels);
        break;
    case levelmath::SampleType::UInt8:
        sums = sumsOf<quint8>(data, frames, m_format.channels);
        break;
    }
    for (int c = 0; c < m_channels; ++c) {
        m_partialSquares[std::size_t(c)] += sums.squares[c];
        m_partialPeak[std::size_t(c)] = std::max(m_partialPeak[std::size_t(c)], sums.peak[c]);
    }
    m_partialFrames += frames;
}

void DynamicsMeter::finishStep() {
    const auto slot = std::size_t(m_steps % envelopeSteps);
    for (std::size_t c = 0; c < 2; ++c) {
        // A mono stream is measured once and counts for both channels.
        const std::size_t from = m_channels == 1 ? 0 : c;
        m_stepSquares[c][slot] = m_partialSquares[from] / double(m_stepFrames);
        double sum = 0;
        for (double s : m_stepSquares[c])
            sum += s;
        const double meanSquare = sum / envelopeSteps;
        m_envelope[c][std::size_t(m_next)] = qint32(std::lround(toDb(meanSquare) * 100));
        m_squares[c][std::size_t(m_next)] = m_stepSquares[c][slot];
        m_peaks[c][std::size_t(m_next)] = m_partialPeak[from];
    }
    m_next = (m_next + 1) % windowSteps;
    ++m_steps;
    m_partialFrames = 0;
    m_partialSquares = {};
    m_partialPeak = {};
    // A full second of envelope, whose first point already has its 50 ms.
    if (m_steps >= windowSteps + envelopeSteps - 1 && m_steps % judgeEverySteps == 0)
        m_judgeDue = true;
}

DynamicsMeter::ChannelVerdict DynamicsMeter::judgeChannel(const qint32* envelope,
                                                          double meanSquare) {
    ChannelVerdict v;
    v.present = toDb(meanSquare) > presentDbfs;
    if (!v.present)
        return v;
    std::array<qint32, windowSteps> sorted;
    std::copy(envelope, envelope + windowSteps, sorted.begin());
    // Nearest-rank 5th and 95th percentiles: one click or drop-out of a
    // step or two does not make a steady second move.
    constexpr int low = windowSteps * 5 / 100;
    constexpr int high = windowSteps * 95 / 100 - 1;
    std::nth_element(sorted.begin(), sorted.begin() + low, sorted.end());
    const qint32 p5 = sorted[low];
    std::nth_element(sorted.begin(), sorted.begin() + high, sorted.end());
    const qint32 p95 = sorted[high];
    v.spreadDb = double(p95 - p5) / 100.0;

    // At most windowSteps differences of at most 100 dB: an int32 holds the
    // sum, and the loop vectorises.
    double best = 1e9;
    for (int lag = minLagSteps; lag <= maxLagSteps; ++lag) {
        qint32 sum = 0;
        for (int i = lag; i < windowSteps; ++i) {
            const qint32 d = envelope[i] - envelope[i - lag];
            sum += d < 0 ? -d : d;
        }
        best = std::min(best, double(sum) / double(windowSteps - lag));
    }
    v.repeatDb = best / 100.0;
    v.steady = v.spreadDb < steadySpreadDb || v.repeatDb < steadyRepeatDb;
    return v;
}

void DynamicsMeter::judge() {
    DynamicsSecond second;
    second.valid = true;
    bool anyPresent = false;
    bool allSteady = true;
    double peak = 0;
    for (std::size_t c = 0; c < std::size_t(m_channels == 1 ? 1 : 2); ++c) {
        // The ring in time order, oldest first.
        std::array<qint32, windowSteps> envelope;
        double squares = 0;
        for (int i = 0; i < windowSteps; ++i) {
            const auto at = std::size_t((m_next + i) % windowSteps);
            envelope[std::size_t(i)] = m_envelope[c][at];
            squares += m_squares[c][at];
            peak = std::max(peak, m_peaks[c][at]);
        }
        const ChannelVerdict v = judgeChannel(envelope.data(), squares / windowSteps);
        if (!v.present)
            continue;
        if (!anyPresent) {
            second.spreadDb = v.spreadDb;
            second.repeatDb = v.repeatDb;
        } else {
            second.spreadDb = std::max(second.spreadDb, v.spreadDb);
            second.repeatDb = std::max(second.repeatDb, v.repeatDb);
        }
        anyPresent = true;
        allSteady = allSteady && v.steady;
    }
    second.steady = anyPresent && allSteady;
    second.peakDbfs = peak > 0 ? std::max(floorDb, 20.0 * std::log10(peak)) : floorDb;
    m_latest = second;
    ++m_judged;
}
