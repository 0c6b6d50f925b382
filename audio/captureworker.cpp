#include "audio/captureworker.h"

#include "audio/capturelevels.h"
#include "audio/levelmath.h"

#include <QAudioSource>
#include <QMediaDevices>
#include <QTimer>

#include <utility>

namespace {

constexpr int preferredRate = 48000;
constexpr int watchIntervalMs = 500;

QString describe(QAudio::Error error) {
    switch (error) {
    case QAudio::NoError:
        return QStringLiteral("geen fout");
    case QAudio::OpenError:
        return QStringLiteral("het apparaat kan niet worden geopend");
    case QAudio::IOError:
        return QStringLiteral("lees- of schrijffout op het apparaat");
    case QAudio::UnderrunError:
        return QStringLiteral("het apparaat levert geen gegevens");
    case QAudio::FatalError:
        return QStringLiteral("onherstelbare fout in het apparaat");
    }
    return QStringLiteral("onbekende fout");
}

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

} // namespace

CaptureWorker::CaptureWorker(std::shared_ptr<CaptureLevels> levels) : m_levels(std::move(levels)) {}

CaptureWorker::~CaptureWorker() {
    teardown(true);
}

QString CaptureWorker::open(const QAudioDevice& device, int channels) {
    m_device = device;
    m_channels = channels;
    m_lost = false;
    if (!m_watchdog) {
        m_watchdog = new QTimer(this);
        m_watchdog->setInterval(watchIntervalMs);
        connect(m_watchdog, &QTimer::timeout, this, &CaptureWorker::watch);
    }
    const QString error = openDevice(device);
    if (!error.isEmpty()) {
        teardown();
        return error;
    }
    m_open = true;
    m_watchdog->start();
    return {};
}

void CaptureWorker::close() {
    m_open = false;
    m_lost = false;
    if (m_watchdog)
        m_watchdog->stop();
    teardown(true);
    m_levels->clear();
}

QString CaptureWorker::openDevice(const QAudioDevice& device) {
    teardown();
    m_lastDataMs = CaptureLevels::nowMs();
    if (device.isNull())
        return QStringLiteral("het apparaat bestaat niet meer");

    const QAudioFormat format = chooseFormat(device, m_channels);
    if (!format.isValid())
        return QStringLiteral("het apparaat biedt geen bruikbaar geluidsformaat");
    m_history.reset(format);

    m_source = new QAudioSource(device, format, this);
    m_source->setBufferSize(format.bytesForDuration(qint64(bufferMs) * 1000));
    m_io = m_source->start();
    if (!m_io || m_source->error() != QAudio::NoError) {
        const QString why = describe(m_source->error());
        teardown();
        return why;
    }
    connect(m_io, &QIODevice::readyRead, this, &CaptureWorker::readAvailable);
    connect(m_source, &QAudioSource::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::StoppedState && m_source && m_source->error() != QAudio::NoError &&
            !m_lost)
            declareLost();
    });
    return {};
}

void CaptureWorker::teardown(bool now) {
    // The members are cleared before the source goes: stopping or deleting a
    // source may process events of this thread, which can call back in here.
    QAudioSource* source = std::exchange(m_source, nullptr);
    QIODevice* io = std::exchange(m_io, nullptr);
    if (!source)
        return;
    // Disconnected first so that stopping it reports nothing. Inside a signal
    // of the source it must not be deleted at once.
    disconnect(source, nullptr, this, nullptr);
    if (io)
        disconnect(io, nullptr, this, nullptr);
    source->stop();
    if (now)
        delete source;
    else
        source->deleteLater();
}

void CaptureWorker::readAvailable() {
    if (!m_io)
        return;
    const QByteArray data = m_io->readAll();
    if (data.isEmpty())
        return;
    const qint64 now = CaptureLevels::nowMs();
    m_lastDataMs = now;
    if (m_history.add(data.constData(), data.size()) > 0) {
        const auto window = m_history.windowPeak();
        const auto last = m_history.lastBlockPeak();
        m_levels->level[0].store(levelmath::peakToLevel(window.left), std::memory_order_relaxed);
        m_levels->level[1].store(levelmath::peakToLevel(window.right), std::memory_order_relaxed);
        m_levels->instant[0].store(levelmath::peakToLevel(last.left), std::memory_order_relaxed);
        m_levels->instant[1].store(levelmath::peakToLevel(last.right), std::memory_order_relaxed);
        // Release after the levels: a reader that sees this stamp sees them.
        m_levels->lastBlockMs.store(now, std::memory_order_release);
        emit measured();
    }
}

void CaptureWorker::watch() {
    if (!m_open || m_lost)
        return;
    const qint64 now = CaptureLevels::nowMs();
    const bool failed = !m_source || (m_source->state() == QAudio::StoppedState &&
                                      m_source->error() != QAudio::NoError);
    // The list is polled as well as watched: the sound server may move the
    // stream of a vanished device to another source (which would then be
    // measured in its place), and the change signal does not always arrive.
    if (failed || now - m_lastDataMs > silenceOfDeviceMs || !deviceStillListed())
        declareLost();
}

void CaptureWorker::deviceListChanged() {
    if (m_open && !m_lost && !deviceStillListed())
        declareLost();
}

void CaptureWorker::declareLost() {
    if (m_lost || !m_open)
        return;
    m_lost = true;
    teardown();
    m_levels->clear();
    emit lost(m_device.description());
}

bool CaptureWorker::deviceStillListed() const {
    const auto inputs = QMediaDevices::audioInputs();
    for (const QAudioDevice& input : inputs) {
        if (input.id() == m_device.id())
            return true;
    }
    return false;
}
