#include "audio/audioring.h"

#include "audio/capturestate.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

using levelmath::SampleType;

qint16 toInt16(const char* p, SampleType type) {
    switch (type) {
    case SampleType::Int16: {
        qint16 v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case SampleType::Int32: {
        qint32 v;
        std::memcpy(&v, p, sizeof v);
        return qint16(v >> 16);
    }
    case SampleType::Float: {
        float v;
        std::memcpy(&v, p, sizeof v);
        if (!(v == v)) // NaN from a broken driver: silence
            return 0;
        return qint16(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
    }
    case SampleType::UInt8:
        return qint16((int(static_cast<unsigned char>(*p)) - 128) * 256);
    }
    return 0;
}

using Word = std::atomic_ref<quint32>;
static_assert(Word::required_alignment <= alignof(quint32));

} // namespace

AudioRing::AudioRing()
    : m_frames(static_cast<quint32*>(std::calloc(std::size_t(capacityFrames), sizeof(quint32)))),
      m_span(std::size_t(spanOf(0))) {
    if (!m_frames)
        throw std::bad_alloc();
}

AudioRing::~AudioRing() {
    std::free(m_frames);
}

void AudioRing::reset(const levelmath::SampleFormat& format) {
    m_format = format;
    m_frameBytes = format.channels > 0 ? format.bytesPerFrame() : 0;
    if (m_frameBytes > int(sizeof m_carry))
        m_frameBytes = 0; // more channels than any capture here opens: not kept
    m_carryBytes = 0;
    if (m_runRate.load(std::memory_order_relaxed) == format.sampleRate)
        return;
    const quint32 sequence = m_runSequence.load(std::memory_order_relaxed);
    m_runSequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    m_spanStart = m_written.load(std::memory_order_relaxed);
    m_span = std::size_t(spanOf(format.sampleRate));
    m_runStart.store(m_spanStart, std::memory_order_relaxed);
    m_runRate.store(format.sampleRate, std::memory_order_relaxed);
    m_runSequence.store(sequence + 2, std::memory_order_release);
}

AudioRing::Run AudioRing::currentRun() const {
    for (;;) {
        const quint32 before = m_runSequence.load(std::memory_order_acquire);
        Run run{m_runStart.load(std::memory_order_relaxed),
                m_runRate.load(std::memory_order_relaxed)};
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1) == 0 && m_runSequence.load(std::memory_order_relaxed) == before)
            return run;
    }
}

void AudioRing::putFrame(const char* frame, std::size_t& slot) {
    qint16 left;
    qint16 right;
    if (m_format.type == SampleType::Int16) { // what the sound server delivers
        std::memcpy(&left, frame, sizeof left);
        if (m_format.channels > 1)
            std::memcpy(&right, frame + sizeof left, sizeof right);
        else
            right = left;
    } else {
        left = toInt16(frame, m_format.type);
        right = m_format.channels > 1 ? toInt16(frame + m_format.bytesPerSample(), m_format.type)
                                      : left;
    }
    Word(m_frames[slot])
        .store(quint32(quint16(left)) | (quint32(quint16(right)) << 16), std::memory_order_relaxed);
    if (++slot == m_span)
        slot = 0;
}

void AudioRing::write(const char* data, qsizetype bytes) {
    if (m_frameBytes <= 0 || !data || bytes <= 0)
        return;
    const qsizetype complete = (m_carryBytes + bytes) / m_frameBytes;
    quint64 n = m_written.load(std::memory_order_relaxed);
    // Claimed before the first store: a reader that sees any of the new
    // frames sees the claim too, and knows which old frames are gone.
    m_claimed.store(n + quint64(complete), std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    std::size_t slot = std::size_t((n - m_spanStart) % m_span);
    n += quint64(complete);
    if (m_carryBytes > 0) {
        const int take = int(std::min<qsizetype>(m_frameBytes - m_carryBytes, bytes));
        std::memcpy(m_carry + m_carryBytes, data, std::size_t(take));
        m_carryBytes += take;
        data += take;
        bytes -= take;
        if (m_carryBytes < m_frameBytes)
            return;
        putFrame(reinterpret_cast<const char*>(m_carry), slot);
        m_carryBytes = 0;
    }
    const qsizetype frames = bytes / m_frameBytes;
    for (qsizetype i = 0; i < frames; ++i)
        putFrame(data + i * m_frameBytes, slot);
    const qsizetype rest = bytes - frames * m_frameBytes;
    if (rest > 0) {
        std::memcpy(m_carry, data + frames * m_frameBytes, std::size_t(rest));
        m_carryBytes = int(rest);
    }
    m_written.store(n, std::memory_order_release);
    m_lastWriteMs.store(CaptureState::nowMs(), std::memory_order_release);
}

quint64 AudioRing::copy(quint64 from, quint64 to, std::vector<qint16>& out) const {
    const Run run = currentRun();
    to = std::min(to, written());
    out.clear();
    if (to <= from)
        return to;
    out.resize(std::size_t(to - from) * 2);
    // Frames of an earlier run lay where this run's slots are counted from
    // another start: none of them is good. Only this run's are read.
    const quint64 first = std::clamp(run.start, from, to);
    const quint64 span = quint64(spanOf(run.rate));
    std::size_t slot = std::size_t((first - run.start) % span);
    for (quint64 n = first; n < to; ++n) {
        const quint32 frame = Word(m_frames[slot]).load(std::memory_order_relaxed);
        if (++slot == std::size_t(span))
            slot = 0;
        const std::size_t at = std::size_t(n - from) * 2;
        out[at] = qint16(quint16(frame & 0xffff));
        out[at + 1] = qint16(quint16(frame >> 16));
    }
    // Whatever the writer has claimed by now may have replaced the oldest
    // frames of the copy; those beyond the ring's reach are not good.
    std::atomic_thread_fence(std::memory_order_acquire);
    const quint64 reached = m_claimed.load(std::memory_order_relaxed);
    // A new run begun meanwhile writes its own slots over any of these.
    const Run after = currentRun();
    if (after.start != run.start || after.rate != run.rate)
        return to;
    const quint64 oldest = std::max(run.start, reached > span ? reached - span : 0);
    return std::clamp(oldest, from, to);
}
