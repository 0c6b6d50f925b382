#include "audio/levelmath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The 16-bit case, which the sound server delivers, for one or two
// channels. On x86-64 (SSE2 is part of the architecture) eight samples go
// through packed instructions at a time: highest and lowest sample per
// lane, and, when asked, the squares of each channel summed in single
// precision (a 10 ms step loses nothing a level in dB can show); other
// processors take the same sums one sample at a time.
template <bool Squares> Int16Sums sumsOfInt16(const char* data, qsizetype frames, int channels) {
    const qsizetype samples = frames * channels;
    qsizetype i = 0;
    int high[2] = {0, 0};
    int low[2] = {0, 0};
    double sum[2] = {0, 0};
#if defined(__SSE2__)
    {
        __m128i hi = _mm_setzero_si128();
        __m128i lo = _mm_setzero_si128();
        __m128 even = _mm_setzero_ps(); // lanes 0, 2, 4, 6 of each eight samples
        __m128 odd = _mm_setzero_ps();
        const __m128i evenMask = _mm_set1_epi32(0x0000ffff);
        for (; i + 8 <= samples; i += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * i));
            hi = _mm_max_epi16(hi, v);
            lo = _mm_min_epi16(lo, v);
            if constexpr (Squares) {
                // Each product of a lane with itself, the other lane of its
                // pair zeroed: exact in 32 bits, then single precision.
                const __m128i e = _mm_and_si128(v, evenMask);
                const __m128i o = _mm_andnot_si128(evenMask, v);
                even = _mm_add_ps(even, _mm_cvtepi32_ps(_mm_madd_epi16(e, e)));
                odd = _mm_add_ps(odd, _mm_cvtepi32_ps(_mm_madd_epi16(o, o)));
            }
        }
        alignas(16) qint16 h[8];
        alignas(16) qint16 l[8];
        alignas(16) float se[4];
        alignas(16) float so[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(h), hi);
        _mm_store_si128(reinterpret_cast<__m128i*>(l), lo);
        _mm_store_ps(se, even);
        _mm_store_ps(so, odd);
        // Eight samples hold whole stereo frames: even lanes are the left
        // channel, odd ones the right; mono is all one channel.
        for (int k = 0; k < 8; ++k) {
            const int c = channels == 2 ? k % 2 : 0;
            high[c] = std::max(high[c], int(h[k]));
            low[c] = std::min(low[c], int(l[k]));
        }
        for (int k = 0; k < 4; ++k) {
            sum[0] += se[k];
            sum[channels == 2 ? 1 : 0] += so[k];
        }
    }
#endif
    for (; i < samples; ++i) {
        qint16 v;
        std::memcpy(&v, data + 2 * i, sizeof v);
        const int c = channels == 2 ? int(i % 2) : 0;
        high[c] = std::max(high[c], int(v));
        low[c] = std::min(low[c], int(v));
        if constexpr (Squares)
            sum[c] += double(v) * double(v);
    }
    if (channels == 1) {
        high[1] = high[0];
        low[1] = low[0];
        sum[1] = sum[0];
    }
    Int16Sums out;
    for (int c = 0; c < 2; ++c) {
        out.peak[c] = std::max(high[c], -low[c]) / 32768.0;
        out.squares[c] = sum[c] / (32768.0 * 32768.0);
    }
    return out;
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

Int16Sums int16Sums(const char* data, qsizetype frames, int channels) {
    if (!data || frames <= 0 || channels < 1 || channels > 2)
        return {};
    return sumsOfInt16<true>(data, frames, channels);
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
        if (channels <= 2) {
            const Int16Sums sums = sumsOfInt16<false>(data, frames, channels);
            return {sums.peak[0], sums.peak[1]};
        }
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
