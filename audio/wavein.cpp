#include "audio/wavein.h"

#include "audio/pulsecapture.h"
#include "audio/streammodule.h"
#include "audio/streamurl.h"

#include <QTimer>

namespace {

// How often this thread looks whether blocks still come; with staleMs the
// longest an audio thread may hang unnoticed.
constexpr int stallCheckMs = 500;

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
    : QObject(parent), m_state(std::make_unique<CaptureState>(static_cast<CaptureEvents*>(this))),
      m_stallWatch(new QTimer(this)) {
    // The sound card through the sound server. Another platform's sound
    // system would be another CaptureEngine made here.
    m_engine = std::make_unique<PulseCapture>(*m_state);
    m_stallWatch->setInterval(stallCheckMs);
    connect(m_stallWatch, &QTimer::timeout, this, &WaveIn::checkStall);
}

WaveIn::~WaveIn() {
    // The audio thread ends with the engine, before the state it writes goes;
    // news it queued meanwhile dies with this object.
    m_engine.reset();
}

int WaveIn::deviceCount() const {
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
    begin({device.id, m_deviceNumber, int(devices->size()), m_channels, m_preferredId, {}}, true);
    return true;
}

void WaveIn::startStream(const QString& url) {
    stop();
    if (m_url.isEmpty()) {
        // The sound server's connection and device list go with its engine.
        m_engine.reset();
        m_engine = streammodule::makeCapture(*m_state);
        m_engine->setDynamicsMeasured(m_dynamicsMeasured);
    }
    m_url = url;
    m_deviceName = streamurl::redacted(url);
    m_error.clear();
    CaptureRequest request;
    request.url = url;
    begin(request, true);
}

void WaveIn::startWhenAvailable(int number) {
    stop();
    m_deviceNumber = number;
    m_deviceName.clear();
    begin({QByteArray(), number, -1, m_channels, m_preferredId, {}}, false);
}

int WaveIn::positionOf(const QByteArray& id) const {
    if (id.isEmpty())
        return -1;
    const auto devices = m_state->devices();
    for (qsizetype i = 0; i < devices->size(); ++i) {
        if (devices->at(i).id == id)
            return int(i);
    }
    return -1;
}

QString WaveIn::missingDeviceText() const {
    // A stream that does not come is a loss, told with its reason.
    if (!m_running || m_flowing || isStream())
        return {};
    if (!m_state->serverReached()) {
        return QStringLiteral("Geen geluidsserver bereikt: geluidskaart %1 wordt niet opgenomen, "
                              "de niveaus staan op 0. Sondral begint zodra ze er is.")
            .arg(m_preferredId.isEmpty()
                     ? QStringLiteral("nummer %1").arg(m_deviceNumber)
                     : QStringLiteral("\"%1\"").arg(QString::fromUtf8(m_preferredId)));
    }
    const qsizetype count = m_state->devices()->size();
    if (positionOf(m_preferredId) >= 0 || (m_deviceNumber >= 0 && m_deviceNumber < count))
        return {};
    if (m_preferredId.isEmpty())
        return noSuchDevice(m_deviceNumber, count);
    return QStringLiteral("Geluidskaart \"%1\" (nummer %2) bestaat niet (%3)")
        .arg(QString::fromUtf8(m_preferredId))
        .arg(m_deviceNumber)
        .arg(devicesFound(count));
}

void WaveIn::begin(const CaptureRequest& request, bool reportFromStart) {
    m_running = true;
    m_reporting = reportFromStart;
    m_flowing = false;
    m_delivered = false;
    m_lost = false;
    m_state->setGeneration(++m_generation);
    m_engine->open(request);
    m_stallWatch->start();
}

void WaveIn::stop() {
    if (!m_running)
        return;
    m_running = false;
    m_flowing = false;
    m_lost = false;
    m_stallWatch->stop();
    m_engine->close();
}

void WaveIn::setWatched(bool watched) {
    m_engine->setFragmentMs(watched ? watchedFragmentMs : unwatchedFragmentMs);
}

void WaveIn::setHurryBelow(int level) {
    if (level == m_hurryBelow)
        return;
    m_hurryBelow = level;
    m_engine->setHurryBelow(level);
}

void WaveIn::setDynamicsMeasured(bool on) {
    m_dynamicsMeasured = on;
    m_engine->setDynamicsMeasured(on);
}

void WaveIn::blocksStarted(quint32 generation) {
    QMetaObject::invokeMethod(
        this, [this, generation] { onFlowStarted(generation); }, Qt::QueuedConnection);
}

void WaveIn::attemptFailed(quint32 generation, CaptureLoss why) {
    QMetaObject::invokeMethod(
        this, [this, generation, why] { onCaptureFailed(generation, why); }, Qt::QueuedConnection);
}

void WaveIn::deviceListChanged() {
    QMetaObject::invokeMethod(
        this, [this] { emit devicesChanged(); }, Qt::QueuedConnection);
}

void WaveIn::onFlowStarted(quint32 generation) {
    if (!m_running || generation != m_generation)
        return; // news of an attempt stopped meanwhile
    m_flowing = true;
    if (!m_reporting) {
        // The first audio of a capture started ahead of the device list:
        // from here on it is watched like any other.
        m_reporting = true;
        const auto devices = m_state->devices();
        QList<QByteArray> ids;
        for (const CaptureDevice& device : *devices)
            ids << device.id;
        const int found = findCaptureDevice(ids, m_preferredId, {}, m_deviceNumber, -1);
        if (found >= 0) {
            m_deviceName = devices->at(found).name;
            m_deviceNumber = found;
        }
    }
    if (!m_delivered) {
        m_delivered = true;
        emit deliveryStarted(m_deviceName);
    }
    if (m_lost) {
        m_lost = false;
        emit deviceRestored(m_deviceName);
    }
}

void WaveIn::onCaptureFailed(quint32 generation, CaptureLoss why) {
    if (!m_running || generation != m_generation)
        return;
    m_flowing = false;
    reportLoss(why);
}

void WaveIn::reportLoss(CaptureLoss why) {
    // Once per loss, however often the capture retries meanwhile: a stream
    // that keeps failing is told once, with the reason of its first failure.
    if (!m_reporting || m_lost)
        return;
    m_lost = true;
    m_lossReason = why;
    emit deviceLost(m_deviceName);
}

void WaveIn::checkStall() {
    // The audio thread reports a block overdue itself; only one that hangs
    // says nothing, and then the blocks simply stop.
    if (m_flowing && !m_lost &&
        CaptureState::nowMs() - m_state->lastBlockMs() > m_state->lossAfterMs() + stallCheckMs) {
        m_flowing = false;
        reportLoss(CaptureLoss::Stalled);
    } else if (m_lost && m_state->delivering()) {
        // Blocks come again from an audio thread that had hung (one that
        // failed and reconnected says so itself, first).
        onFlowStarted(m_generation);
    }
}
