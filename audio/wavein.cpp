#include "audio/wavein.h"

#include "audio/captureengine.h"

#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <thread>

namespace {

// How often the audio thread's progress is looked at: how late a loss or a
// return is told, at most. The levels themselves are read directly.
constexpr int followMs = 250;

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
    : QObject(parent), m_state(std::make_unique<CaptureState>()), m_follow(new QTimer(this)) {
    m_engine = CaptureEngine::create(*m_state);
    m_follow->setInterval(followMs);
    connect(m_follow, &QTimer::timeout, this, &WaveIn::follow);
}

WaveIn::~WaveIn() {
    // The audio thread ends with the engine, before the state it writes goes.
    m_engine.reset();
}

int WaveIn::deviceCount() {
    if (!m_waitedForServer) {
        m_waitedForServer = true;
        QElapsedTimer waited;
        waited.start();
        while (!m_state->answered() && waited.elapsed() < firstAnswerMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return int(m_state->devices()->size());
}

QStringList WaveIn::deviceNames() const {
    QStringList names;
    for (const CaptureDevice& device : *m_state->devices())
        names << device.name;
    return names;
}

bool WaveIn::setDeviceNumber(int number) {
    const qsizetype count = m_state->devices()->size();
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
    const auto devices = m_state->devices();
    if (m_deviceNumber < 0 || m_deviceNumber >= devices->size()) {
        m_error = noSuchDevice(m_deviceNumber, devices->size());
        return false;
    }
    const CaptureDevice& device = devices->at(m_deviceNumber);
    m_deviceName = device.name;
    m_error.clear();
    begin({device.id, m_deviceNumber, int(devices->size()), m_channels}, true);
    return true;
}

void WaveIn::startWhenAvailable(int number) {
    stop();
    m_deviceNumber = number;
    m_deviceName.clear();
    begin({QByteArray(), number, -1, m_channels}, false);
}

void WaveIn::begin(const CaptureRequest& request, bool reportFromStart) {
    m_running = true;
    m_reporting = reportFromStart;
    m_lost = false;
    m_seen = m_state->progress();
    m_engine->open(request);
    m_follow->start();
}

void WaveIn::stop() {
    if (!m_running)
        return;
    m_running = false;
    m_lost = false;
    m_follow->stop();
    m_engine->close();
}

void WaveIn::follow() {
    const CaptureState::Progress now = m_state->progress();
    const bool failed = now.failures != m_seen.failures;
    const bool flowed = now.flows != m_seen.flows;
    m_seen = now;
    if (flowed && !m_reporting) {
        // The first audio of a capture started ahead of the sound server:
        // from here on it is watched like any other.
        m_reporting = true;
        const auto devices = m_state->devices();
        if (m_deviceNumber >= 0 && m_deviceNumber < devices->size())
            m_deviceName = devices->at(m_deviceNumber).name;
    }
    if (failed && m_reporting && !m_lost) {
        m_lost = true;
        emit deviceLost(m_deviceName);
    }
    if (now.flowing && m_lost) {
        m_lost = false;
        emit deviceRestored(m_deviceName);
    }
}
