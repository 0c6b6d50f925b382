#pragma once

#include "audio/dynamicssecond.h"
#include "audio/levelmath.h"

#include <QtGlobal>

#include <array>

// Tells programme from a steady signal, on the audio thread. The audio is cut
// into steps of 10 ms; the mean square of each step gives, with the four
// before it, a 50 ms RMS level (the envelope, in dB, one point per step).
// At most once a delivery, when a tenth of a second of audio ended in it,
// the last second of envelope is judged per channel:
//  - its spread (95th minus 5th percentile) below steadySpreadDb: a hum, a
//    tone, hiss or a carrier, whose short-term level hardly moves;
//  - or its repeat below steadyRepeatDb: shifted by some lag of 50 to 500 ms
//    the envelope lies on itself, as a short buffer played over and over
//    does.
// Speech and music move by many dB within a second and never repeat
// exactly, a limiter's output included.
//
// Every buffer lives in the object (fixed arrays): feeding it never
// allocates, so it may run on the audio thread for every delivery.
class DynamicsMeter {
public:
    static constexpr int stepMs = 10;
    static constexpr int envelopeSteps = 5; // 50 ms RMS
    static constexpr int windowSteps = 100; // one second judged
    static constexpr int judgeEverySteps = 10;
    static constexpr int minLagSteps = 5;  // 50 ms: no overlap of the RMS windows
    static constexpr int maxLagSteps = 50; // 500 ms
    static constexpr double steadySpreadDb = 1.0;
    static constexpr double steadyRepeatDb = 0.2;
    // A channel whose second is quieter than this (RMS) carries no signal.
    static constexpr double presentDbfs = -70.0;
    // Digital silence reads this (dB).
    static constexpr double floorDb = -100.0;

    // Starts over for a stream of this format; forgets everything.
    void reset(const levelmath::SampleFormat& format);
    // Feeds interleaved samples in the format given to reset(); buffers need
    // not hold whole frames. Returns 1 when it judged the second that ends
    // with this buffer, else 0.
    int add(const char* data, qsizetype bytes);
    // The latest judgement; not valid before a full second was heard.
    const DynamicsSecond& latest() const { return m_latest; }

    // The judgement of one channel's second of envelope (windowSteps points
    // in hundredths of a dB, oldest first).
    struct ChannelVerdict {
        bool present = false;
        bool steady = false;
        double spreadDb = 0;
        double repeatDb = 0;
    };
    static ChannelVerdict judgeChannel(const qint32* envelope, double meanSquare);

private:
    void addFrames(const char* data, qsizetype frames);
    void finishStep();
    void judge();

    levelmath::SampleFormat m_format;
    int m_frameBytes = 0;
    int m_stepFrames = 0;
    int m_channels = 0; // measured: 1 or 2
    alignas(8) std::array<char, 64> m_carry{};
    int m_carryBytes = 0;

    // The step being filled.
    qsizetype m_partialFrames = 0;
    std::array<double, 2> m_partialSquares{};
    std::array<double, 2> m_partialPeak{};

    // The last envelopeSteps steps' mean squares, per channel.
    std::array<std::array<double, envelopeSteps>, 2> m_stepSquares{};
    // The last windowSteps envelope points (dB), their mean squares and
    // peaks, per channel; rings indexed by m_next.
    // Hundredths of a dB: the lag test then sums integers.
    std::array<std::array<qint32, windowSteps>, 2> m_envelope{};
    std::array<std::array<double, windowSteps>, 2> m_squares{};
    std::array<std::array<double, windowSteps>, 2> m_peaks{};
    int m_next = 0;
    qint64 m_steps = 0;  // since reset
    qint64 m_judged = 0; // since reset
    bool m_judgeDue = false;
    DynamicsSecond m_latest;
};
