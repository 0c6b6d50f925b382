#include "audio/capturestate.h"

#include "audio/levelmath.h"

#include <algorithm>
#include <chrono>

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
    if (!m_written.flowing) {
        ++m_written.flows;
        m_written.flowing = true;
        setProgress(m_written);
    }
}

void CaptureState::captureFailed() {
    m_haveBlock.store(false, std::memory_order_release);
    ++m_written.failures;
    m_written.flowing = false;
    setProgress(m_written);
}

void CaptureState::captureStopped() {
    m_haveBlock.store(false, std::memory_order_release);
    if (m_written.flowing) {
        m_written.flowing = false;
        setProgress(m_written);
    }
}

void CaptureState::setProgress(const Progress& progress) {
    m_progress.store(quint64(progress.failures & 0x7fffffffu) << 33 | quint64(progress.flows) << 1 |
                         (progress.flowing ? 1u : 0u),
                     std::memory_order_release);
}

CaptureState::Progress CaptureState::progress() const {
    const quint64 word = m_progress.load(std::memory_order_acquire);
    return {quint32(word >> 33), quint32(word >> 1), (word & 1u) != 0};
}

void CaptureState::publishDevices(CaptureDeviceList devices, bool serverReached) {
    m_devices.store(std::make_shared<const CaptureDeviceList>(std::move(devices)),
                    std::memory_order_release);
    m_serverReached.store(serverReached, std::memory_order_release);
    m_answered.store(true, std::memory_order_release);
}

std::shared_ptr<const CaptureDeviceList> CaptureState::devices() const {
    return m_devices.load(std::memory_order_acquire);
}

bool CaptureState::delivering() const {
    return m_haveBlock.load(std::memory_order_acquire) &&
           nowMs() - m_lastBlockMs.load(std::memory_order_acquire) <= staleMs;
}

int CaptureState::read(int channel, int slot) const {
    if (channel < 0 || channel > 1 || !delivering())
        return 0;
    const quint32 levels = m_levels.load(std::memory_order_relaxed);
    return int((levels >> (8 * (slot + channel))) & 0xffu);
}
