#include "audio/wavein.h"

#include "audio/capturelevels.h"
#include "audio/captureworker.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QThread>
#include <QtDebug>

#include <chrono>
#include <future>

namespace {

// How long start() waits for the device to open, and stop() for the capture
// thread to end. A healthy sound server answers in a few milliseconds.
constexpr auto openTimeout = std::chrono::seconds(3);
constexpr int joinTimeoutMs = 3000;

QString devicesFound(qsizetype count) {
    if (count == 0)
        return QStringLiteral("geen invoerapparaten gevonden");
    if (count == 1)
        return QStringLiteral("1 invoerapparaat gevonden");
    return QStringLiteral("%1 invoerapparaten gevonden").arg(count);
}

QString noSuchDevice(int number, qsizetype count) {
    return QStringLiteral("Geluidskaart nummer %1 bestaat niet (%2)")
        .arg(number)
        .arg(devicesFound(count));
}

} // namespace

WaveIn::WaveIn(QObject* parent)
    : QObject(parent), m_levels(std::make_shared<CaptureLevels>()),
      m_devices(new QMediaDevices(this)) {
    connect(m_devices, &QMediaDevices::audioInputsChanged, this, [this] {
        if (m_worker)
            QMetaObject::invokeMethod(m_worker, &CaptureWorker::deviceListChanged,
                                      Qt::QueuedConnection);
    });
}

WaveIn::~WaveIn() {
    stop();
}

int WaveIn::deviceCount() const {
    return int(QMediaDevices::audioInputs().size());
}

bool WaveIn::setDeviceNumber(int number) {
    const qsizetype count = QMediaDevices::audioInputs().size();
    if (number < 0 || number >= count) {
        m_error = noSuchDevice(number, count);
        return false;
    }
    m_deviceNumber = number;
    m_error.clear();
    return true;
}

void WaveIn::setCaptureParameter(int channels) {
    m_channels = channels;
}

bool WaveIn::start() {
    stop();
    const auto inputs = QMediaDevices::audioInputs();
    if (m_deviceNumber < 0 || m_deviceNumber >= inputs.size()) {
        m_error = noSuchDevice(m_deviceNumber, inputs.size());
        return false;
    }
    const QAudioDevice device = inputs.at(m_deviceNumber);
    m_deviceName = device.description();
    m_levels->clear();

    const int generation = ++m_generation;
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("capture"));
    m_worker = new CaptureWorker(m_levels);
    m_worker->moveToThread(m_thread);
    connect(m_worker, &CaptureWorker::lost, this, [this, generation](const QString& name) {
        if (generation == m_generation)
            emit deviceLost(name);
    });
    connect(m_worker, &CaptureWorker::restored, this, [this, generation](const QString& name) {
        if (generation != m_generation)
            return;
        m_deviceName = name;
        emit deviceRestored(name);
    });
    m_thread->start();

    auto answer = std::make_shared<std::promise<QString>>();
    std::future<QString> opened = answer->get_future();
    CaptureWorker* worker = m_worker;
    const int position = m_deviceNumber;
    const int count = int(inputs.size());
    const int channels = m_channels;
    QMetaObject::invokeMethod(
        worker,
        [worker, device, position, count, channels, answer] {
            answer->set_value(worker->open(device, position, count, channels));
        },
        Qt::QueuedConnection);

    if (opened.wait_for(openTimeout) != std::future_status::ready) {
        m_error = QStringLiteral("Kan geluidskaart \"%1\" niet openen: het apparaat reageert niet")
                      .arg(m_deviceName);
        stop();
        return false;
    }
    const QString why = opened.get();
    if (!why.isEmpty()) {
        m_error = QStringLiteral("Kan geluidskaart \"%1\" niet openen: %2").arg(m_deviceName, why);
        stop();
        return false;
    }
    m_error.clear();
    return true;
}

void WaveIn::stop() {
    if (!m_thread)
        return;
    ++m_generation;
    CaptureWorker* worker = m_worker;
    // Closing, deleting and quitting in one queued call keeps them in order
    // behind whatever the worker still has to do. The worker's deferred
    // deletion runs as the thread finishes.
    QMetaObject::invokeMethod(
        worker,
        [worker] {
            worker->close();
            worker->deleteLater();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    if (m_thread->wait(joinTimeoutMs))
        delete m_thread;
    else
        abandonThread();
    m_thread = nullptr;
    m_worker = nullptr;
    m_levels->clear();
}

void WaveIn::abandonThread() {
    // The driver holds the capture thread. Destroying a running QThread would
    // abort the process, so it is left to end on its own; it only touches
    // the shared levels and its own objects.
    qWarning("Capture thread did not end in time; leaving it behind");
    m_thread->setParent(nullptr);
    QObject::connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_levels = std::make_shared<CaptureLevels>();
}

bool WaveIn::isRunning() const {
    return m_thread != nullptr;
}

QString WaveIn::deviceName() const {
    if (!m_deviceName.isEmpty())
        return m_deviceName;
    const auto inputs = QMediaDevices::audioInputs();
    if (m_deviceNumber >= 0 && m_deviceNumber < inputs.size())
        return inputs.at(m_deviceNumber).description();
    return {};
}

int WaveIn::level(int channel) const {
    if (channel < 0 || channel > 1 || !m_levels->fresh())
        return 0;
    return m_levels->level[channel].load(std::memory_order_relaxed);
}

int WaveIn::instantLevel(int channel) const {
    if (channel < 0 || channel > 1 || !m_levels->fresh())
        return 0;
    return m_levels->instant[channel].load(std::memory_order_relaxed);
}
