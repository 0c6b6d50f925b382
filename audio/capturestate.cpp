#include "audio/capturestate.h"

#include "audio/levelmath.h"

#include <algorithm>
#include <chrono>
#include <cmath>

qint64 CaptureState::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void CaptureState::blockMeasured(const PeakHistory& history) {
    const auto window = history.windowPeak();
    const auto last = history.lastBlockPeak();
    blockMeasured(levelmath::peakToLevel(window.left), levelmath::peakToLevel(window.right),
                  levelmath::peakToLevel(last.left), levelmath::peakToLevel(last.right));
}

void CaptureState::blockMeasured(int left, int right, int instantLeft, int instantRight) {
    auto byte = [](int level) { return quint32(std::clamp(level, 0, 100)); };
    m_levels.store(byte(left) | byte(right) << 8 | byte(instantLeft) << 16 |
                       byte(instantRight) << 24,
                   std::memory_order_relaxed);
    // Released after the levels: a reader that sees this time sees them.
    m_lastBlockMs.store(nowMs(), std::memory_order_release);
    m_haveBlock.store(true, std::memory_order_release);
    if (!m_flowing) {
        m_flowing = true;
        if (m_events)
            m_events->blocksStarted(m_generation.load(std::memory_order_acquire));
    }
}

void CaptureState::setFormat(const Format& format) {
    std::lock_guard lock(m_formatMutex);
    m_format = format;
}

CaptureState::Format CaptureState::format() const {
    std::lock_guard lock(m_formatMutex);
    return m_format;
}

void CaptureState::captureFailed(CaptureLoss why) {
    m_haveBlock.store(false, std::memory_order_release);
    m_dynamics.store(0, std::memory_order_release);
    m_flowing = false;
    if (m_events)
        m_events->attemptFailed(m_generation.load(std::memory_order_acquire), why);
}

void CaptureState::captureStopped() {
    m_haveBlock.store(false, std::memory_order_release);
    m_dynamics.store(0, std::memory_order_release);
    m_flowing = false;
}

void CaptureState::publishDevices(CaptureDeviceList devices, bool serverReached) {
    m_devices.store(std::make_shared<const CaptureDeviceList>(std::move(devices)),
                    std::memory_order_release);
    m_serverReached.store(serverReached, std::memory_order_release);
    m_answered.store(true, std::memory_order_release);
    if (m_events)
        m_events->deviceListChanged();
}

std::shared_ptr<const CaptureDeviceList> CaptureState::devices() const {
    return m_devices.load(std::memory_order_acquire);
}

bool CaptureState::delivering() const {
    return m_haveBlock.load(std::memory_order_acquire) &&
           nowMs() - m_lastBlockMs.load(std::memory_order_acquire) <= lossAfterMs();
}

int CaptureState::read(int channel, int slot) const {
    if (channel < 0 || channel > 1 || !delivering())
        return 0;
    const quint32 levels = m_levels.load(std::memory_order_relaxed);
    return int((levels >> (8 * (slot + channel))) & 0xffu);
}

namespace {
// Hundredths of a dB in 16 bits: peaks down to -655 dBFS, spreads up to 655 dB.
quint64 hundredths(double db) {
    return quint64(std::clamp<long>(std::lround(db * 100.0), 0L, 65535L));
}
} // namespace

void CaptureState::secondJudged(const DynamicsSecond& second) {
    const quint64 packed = (second.valid ? 1u : 0u) | (second.steady ? 2u : 0u) |
                           hundredths(-second.peakDbfs) << 16 | hundredths(second.spreadDb) << 32 |
                           hundredths(second.repeatDb) << 48;
    m_dynamics.store(packed, std::memory_order_release);
}

DynamicsSecond CaptureState::dynamics() const {
    DynamicsSecond second;
    const quint64 packed = m_dynamics.load(std::memory_order_acquire);
    if (!(packed & 1u) || !delivering())
        return second;
    second.valid = true;
    second.steady = (packed & 2u) != 0;
    second.peakDbfs = -double((packed >> 16) & 0xffffu) / 100.0;
    second.spreadDb = double((packed >> 32) & 0xffffu) / 100.0;
    second.repeatDb = double((packed >> 48) & 0xffffu) / 100.0;
    return second;
}
