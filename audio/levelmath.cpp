#include "audio/levelmath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace levelmath {

namespace {

// Magnitude of one sample as a fraction of full scale. Integer formats are
// divided by the magnitude of their most negative value, so the most
// negative sample is exactly 1.0 and the most positive one just below it.
template <typename T> double magnitude(const char* p);

template <> double magnitude<qint16>(const char* p) {
    qint16 v;
    std::memcpy(&v, p, sizeof v);
    return std::abs(static_cast<double>(v)) / 32768.0;
}

template <> double magnitude<qint32>(const char* p) {
    qint32 v;
    std::memcpy(&v, p, sizeof v);
    return std::abs(static_cast<double>(v)) / 2147483648.0;
}

template <> double magnitude<float>(const char* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    // NaN or infinity from a broken driver must not poison the peak; a NaN
    // compares false with everything, so treat it as silence.
    if (!std::isfinite(v))
        return std::isnan(v) ? 0.0 : 1.0;
    return std::min(1.0, std::abs(static_cast<double>(v)));
}

template <> double magnitude<quint8>(const char* p) {
    const auto v = static_cast<unsigned char>(*p);
    return std::abs(static_cast<double>(v) - 128.0) / 128.0;
}

template <typename T> ChannelPeaks peaksOf(const char* data, qsizetype frames, int channels) {
    const qsizetype stride = qsizetype(sizeof(T)) * channels;
    double left = 0;
    double right = 0;
    for (qsizetype i = 0; i < frames; ++i) {
        const char* frame = data + i * stride;
        left = std::max(left, magnitude<T>(frame));
        if (channels > 1)
            right = std::max(right, magnitude<T>(frame + sizeof(T)));
    }
    if (channels == 1)
        right = left;
    return {left, right};
}

} // namespace

int SampleFormat::bytesPerSample() const {
    switch (type) {
    case SampleType::UInt8:
        return 1;
    case SampleType::Int16:
        return 2;
    case SampleType::Int32:
    case SampleType::Float:
        return 4;
    }
    return 0;
}

int peakToLevel(double peak) {
    if (!(peak > 0)) // also catches NaN
        return 0;
    const double dbfs = 20.0 * std::log10(peak);
    const double level = 100.0 + 100.0 * dbfs / 60.0;
    return static_cast<int>(std::clamp(std::lround(level), 0L, 100L));
}

ChannelPeaks blockPeaks(const char* data, qsizetype bytes, const SampleFormat& format) {
    const int channels = format.channels;
    const int frameBytes = format.bytesPerFrame();
    if (!data || bytes <= 0 || channels <= 0 || frameBytes <= 0)
        return {};
    // A trailing partial frame is ignored; callers carry it to the next buffer.
    const qsizetype frames = bytes / frameBytes;
    switch (format.type) {
    case SampleType::Int16:
        return peaksOf<qint16>(data, frames, channels);
    case SampleType::Int32:
        return peaksOf<qint32>(data, frames, channels);
    case SampleType::Float:
        return peaksOf<float>(data, frames, channels);
    case SampleType::UInt8:
        return peaksOf<quint8>(data, frames, channels);
    }
    return {};
}

} // namespace levelmath
