#include "audio/captureworker.h"

#include "audio/capturestate.h"
#include "audio/levelmath.h"

#include <QAudioSource>
#include <QMediaDevices>
#include <QTimer>

#include <utility>

namespace {

constexpr int preferredRate = 48000;
constexpr int watchIntervalMs = 250;

QAudioFormat chooseFormat(const QAudioDevice& device, int channels) {
    QAudioFormat format;
    format.setSampleRate(preferredRate);
    format.setSampleFormat(QAudioFormat::Int16);
    const int wanted = channels >= 2 ? 2 : 1;
    format.setChannelCount(device.maximumChannelCount() >= wanted ? wanted : 1);
    if (device.isFormatSupported(format))
        return format;
    return device.preferredFormat();
}

// The level maths' own description of a Qt format; false for a sample type
// it does not measure.
bool toSampleFormat(const QAudioFormat& format, levelmath::SampleFormat* out) {
    using levelmath::SampleType;
    switch (format.sampleFormat()) {
    case QAudioFormat::UInt8:
        out->type = SampleType::UInt8;
        break;
    case QAudioFormat::Int16:
        out->type = SampleType::Int16;
        break;
    case QAudioFormat::Int32:
        out->type = SampleType::Int32;
        break;
    case QAudioFormat::Float:
        out->type = SampleType::Float;
        break;
    default:
        return false;
    }
    out->channels = format.channelCount();
    out->sampleRate = format.sampleRate();
    return out->channels > 0;
}

} // namespace

CaptureWorker::CaptureWorker(CaptureState& state)
    : m_state(state), m_watchdog(new QTimer(this)), m_retry(new QTimer(this)) {
    m_watchdog->setInterval(watchIntervalMs);
    connect(m_watchdog, &QTimer::timeout, this, &CaptureWorker::watch);
    m_retry->setSingleShot(true);
    m_retry->setInterval(CaptureEngine::retryMs);
    connect(m_retry, &QTimer::timeout, this, [this] {
        publishDevices();
        if (m_wanted && !m_source)
            tryOpen();
    });
}

CaptureWorker::~CaptureWorker() {
    teardown();
}

void CaptureWorker::init() {
    m_devices = new QMediaDevices(this);
    connect(m_devices, &QMediaDevices::audioInputsChanged, this, [this] {
        publishDevices();
        // The platform may move a vanished device's stream to another input,
        // which would then be measured in its place.
        if (m_source && !deviceStillListed())
            fail();
        // A device waited for opens as soon as it is listed.
        else if (m_wanted && !m_source) {
            m_retry->stop();
            tryOpen();
        }
    });
    publishDevices();
}

void CaptureWorker::publishDevices() {
    CaptureDeviceList devices;
    for (const QAudioDevice& input : QMediaDevices::audioInputs())
        devices.append({input.id(), input.description()});
    m_state.publishDevices(std::move(devices));
}

void CaptureWorker::open(const CaptureRequest& request) {
    teardown();
    m_wanted = true;
    m_request = request;
    m_emptyAttempts = 0;
    m_retry->stop();
    m_watchdog->start();
    tryOpen();
}

void CaptureWorker::close() {
    m_wanted = false;
    m_retry->stop();
    m_watchdog->stop();
    teardown();
    m_state.captureStopped();
}

void CaptureWorker::tryOpen() {
    // A new attempt's first block may take longer than the gap allowed
    // between blocks once they flow (CaptureState::staleMs): a device waking
    // up, or a network input waiting for its clock.
    m_blockDueMs = CaptureState::nowMs() + CaptureEngine::firstBlockWaitMs(m_emptyAttempts);
    m_blocksThisAttempt = false;
    const auto inputs = QMediaDevices::audioInputs();
    QList<QByteArray> ids;
    for (const QAudioDevice& input : inputs)
        ids << input.id();
    const int found = findCaptureDevice(ids, m_request.preferredId, m_request.id,
                                        m_request.position, m_request.count);
    if (found < 0) {
        fail();
        return;
    }
    m_device = inputs.at(found);
    const QAudioFormat format = chooseFormat(m_device, m_request.channels);
    levelmath::SampleFormat measured;
    if (!format.isValid() || !toSampleFormat(format, &measured)) {
        fail();
        return;
    }
    m_history.reset(measured);
    m_measured = measured;
    m_dynamics.reset(measured);
    m_state.ring().reset(measured);
    m_source = new QAudioSource(m_device, format, this);
    m_source->setBufferSize(format.bytesForDuration(qint64(m_bufferMs) * 1000));
    m_io = m_source->start();
    if (!m_io || m_source->error() != QAudio::NoError) {
        fail();
        return;
    }
    connect(m_io, &QIODevice::readyRead, this, &CaptureWorker::readAvailable);
    m_request.id = m_device.id();
    if (m_request.count < 0)
        m_request.count = int(inputs.size());
}

void CaptureWorker::teardown() {
    // Cleared before the source goes: stopping a source may process events
    // of this thread, which can call back in here.
    QAudioSource* source = std::exchange(m_source, nullptr);
    QIODevice* io = std::exchange(m_io, nullptr);
    if (!source)
        return;
    disconnect(source, nullptr, this, nullptr);
    if (io)
        disconnect(io, nullptr, this, nullptr);
    source->stop();
    source->deleteLater();
}

void CaptureWorker::fail() {
    // An attempt that opened and brought no block gives the next one longer.
    if (m_wanted && m_source && !m_blocksThisAttempt && m_emptyAttempts < 16)
        ++m_emptyAttempts;
    if (m_wanted)
        m_state.captureFailed();
    teardown();
    if (m_wanted)
        m_retry->start();
}

void CaptureWorker::readAvailable() {
    if (!m_io)
        return;
    const QByteArray data = m_io->readAll();
    if (data.isEmpty())
        return;
    m_state.ring().write(data.constData(), data.size());
    if (m_measureDynamics && m_dynamics.add(data.constData(), data.size()) > 0)
        m_state.secondJudged(m_dynamics.latest());
    if (m_history.add(data.constData(), data.size()) == 0)
        return;
    m_blocksThisAttempt = true;
    m_emptyAttempts = 0;
    m_blockDueMs = CaptureState::nowMs() + CaptureState::staleMs;
    m_state.blockMeasured(m_history);
}

void CaptureWorker::watch() {
    if (!m_wanted || !m_source)
        return;
    const bool stopped =
        m_source->state() == QAudio::StoppedState && m_source->error() != QAudio::NoError;
    if (stopped || CaptureState::nowMs() > m_blockDueMs)
        fail();
}

bool CaptureWorker::deviceStillListed() const {
    const auto inputs = QMediaDevices::audioInputs();
    for (const QAudioDevice& input : inputs) {
        if (input.id() == m_device.id())
            return true;
    }
    return false;
}

void CaptureWorker::setDynamicsMeasured(bool on) {
    if (on == m_measureDynamics)
        return;
    m_measureDynamics = on;
    m_dynamics.reset(m_measured);
    m_state.secondJudged({});
}
