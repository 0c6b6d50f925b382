#include "audio/captureworker.h"

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

CaptureWorker::CaptureWorker() : m_watchdog(new QTimer(this)) {
    m_watchdog->setInterval(watchIntervalMs);
    connect(m_watchdog, &QTimer::timeout, this, &CaptureWorker::watch);
}

CaptureWorker::~CaptureWorker() {
    teardown(true);
}

QString CaptureWorker::open(const QAudioDevice& device, int channels) {
    close();
    m_device = device;
    const QAudioFormat format = chooseFormat(device, channels);
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
        if (state == QAudio::StoppedState && m_source && m_source->error() != QAudio::NoError)
            declareLost();
    });
    m_open = true;
    m_sinceData.start();
    m_watchdog->start();
    return {};
}

void CaptureWorker::close() {
    m_open = false;
    m_watchdog->stop();
    teardown(true);
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
    m_sinceData.start();
    if (m_history.add(data.constData(), data.size()) > 0) {
        const auto window = m_history.windowPeak();
        const auto last = m_history.lastBlockPeak();
        emit measured(levelmath::peakToLevel(window.left), levelmath::peakToLevel(window.right),
                      levelmath::peakToLevel(last.left), levelmath::peakToLevel(last.right));
    }
}

void CaptureWorker::watch() {
    if (!m_open)
        return;
    const bool failed = !m_source || (m_source->state() == QAudio::StoppedState &&
                                      m_source->error() != QAudio::NoError);
    // The list is polled as well as watched: the sound server may move the
    // stream of a vanished device to another source (which would then be
    // measured in its place), and the change signal does not always arrive.
    if (failed || m_sinceData.hasExpired(silenceOfDeviceMs) || !deviceStillListed())
        declareLost();
}

void CaptureWorker::deviceListChanged() {
    if (m_open && !deviceStillListed())
        declareLost();
}

void CaptureWorker::declareLost() {
    if (!m_open)
        return;
    m_open = false;
    m_watchdog->stop();
    teardown();
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
