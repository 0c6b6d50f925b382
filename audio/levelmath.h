#pragma once

#include <QtGlobal>

namespace levelmath {

// The sample layout of a captured buffer: interleaved frames of channels
// samples, native byte order. Kept free of any audio library's types so that
// every capture back-end can use the maths below.
enum class SampleType { UInt8, Int16, Int32, Float };
struct SampleFormat {
    SampleType type = SampleType::Int16;
    int channels = 2;
    int sampleRate = 48000; // frames per second

    int bytesPerSample() const;
    int bytesPerFrame() const { return bytesPerSample() * channels; }
};

// Converts a linear peak (0.0 .. 1.0, 1.0 = full scale) to the level scale:
// 100 + 100 * dBFS / 60, rounded to the nearest integer, clamped to 0..100.
// So -6 dBFS reads 90, -60 dBFS and below (and digital silence) read 0.
int peakToLevel(double peak);

// Highest absolute sample of each channel in an interleaved buffer of the
// given format, as linear 0.0 .. 1.0. A mono buffer gives the same value
// for both channels.
struct ChannelPeaks {
    double left = 0;
    double right = 0;
};
ChannelPeaks blockPeaks(const char* data, qsizetype bytes, const SampleFormat& format);

// The peak (linear, as above) and the sum of squares (full scale 1.0 per
// sample) of each channel of frames of 16-bit interleaved samples, one or
// two channels; a mono buffer gives the same for both. Nothing for other
// channel counts.
struct Int16Sums {
    double peak[2] = {0, 0};
    double squares[2] = {0, 0};
};
Int16Sums int16Sums(const char* data, qsizetype frames, int channels);

} // namespace levelmath
