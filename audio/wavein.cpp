#include "audio/wavein.h"

#include "audio/captureprotocol.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <QtDebug>

namespace {

// How long start() waits for the device to open. A healthy sound server
// answers in a few milliseconds; starting the helper takes about 0.1 s.
constexpr int openTimeoutMs = 5000;
constexpr int endTimeoutMs = 1000;
constexpr int watchIntervalMs = 500;
// After this long without levels they read 0: a stalled or vanished device
// must look like silence, so that an armed alarm still fires.
constexpr int staleMs = 1500;

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
    : QObject(parent), m_retry(new QTimer(this)), m_watchdog(new QTimer(this)) {
    m_retry->setSingleShot(true);
    m_retry->setInterval(retryMs);
    connect(m_retry, &QTimer::timeout, this, [this] {
        if (m_running && !m_helper && !spawn())
            m_retry->start();
    });
    m_watchdog->setInterval(watchIntervalMs);
    connect(m_watchdog, &QTimer::timeout, this, &WaveIn::watch);
}

WaveIn::~WaveIn() {
    stop();
}

const QList<CaptureDevice>& WaveIn::devices() {
    if (!m_listed) {
        m_devices = captureDevices(&m_listError);
        m_listed = true;
    }
    return m_devices;
}

int WaveIn::deviceCount() {
    m_listed = false;
    return int(devices().size());
}

bool WaveIn::setDeviceNumber(int number) {
    const qsizetype count = devices().size();
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
    devices();
    if (!m_listError.isEmpty()) {
        m_error = QStringLiteral("Kan de geluidskaarten niet opvragen: %1").arg(m_listError);
        return false;
    }
    if (m_deviceNumber < 0 || m_deviceNumber >= m_devices.size()) {
        m_error = noSuchDevice(m_deviceNumber, m_devices.size());
        return false;
    }
    m_id = m_devices.at(m_deviceNumber).id;
    m_position = m_deviceNumber;
    m_count = int(m_devices.size());
    m_deviceName = m_devices.at(m_deviceNumber).name;

    QString reason;
    if (!spawn()) {
        reason = m_failure;
    } else {
        // Wait for the helper's answer; the lines are read as they come in.
        QElapsedTimer waited;
        waited.start();
        while (m_helper && m_answer == Answer::None && waited.elapsed() < openTimeoutMs)
            m_helper->waitForReadyRead(int(openTimeoutMs - waited.elapsed()));
        if (m_answer == Answer::Failed)
            reason = m_failure.isEmpty() ? QStringLiteral("onbekende fout") : m_failure;
        else if (m_answer == Answer::None)
            reason = m_helper ? QStringLiteral("het apparaat reageert niet")
                              : QStringLiteral("het opnameprogramma stopte onverwacht");
    }
    if (!reason.isEmpty()) {
        m_error =
            QStringLiteral("Kan geluidskaart \"%1\" niet openen: %2").arg(m_deviceName, reason);
        endHelper();
        return false;
    }
    m_running = true;
    m_lost = false;
    m_watchdog->start();
    m_error.clear();
    return true;
}

bool WaveIn::spawn() {
    m_answer = Answer::None;
    m_failure.clear();
    m_helper = new QProcess(this);
    // The helper's warnings belong with ours.
    m_helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_helper, &QProcess::readyReadStandardOutput, this, &WaveIn::readHelper);
    connect(m_helper, &QProcess::finished, this, &WaveIn::helperEnded);
    const QString path = captureHelperPath();
    m_helper->start(path, {QStringLiteral("--id"), QString::fromLatin1(m_id.toHex()),
                           QStringLiteral("--position"), QString::number(m_position),
                           QStringLiteral("--count"), QString::number(m_count),
                           QStringLiteral("--channels"), QString::number(m_channels)});
    if (!m_helper->waitForStarted(openTimeoutMs)) {
        m_failure = QStringLiteral("het opnameprogramma %1 start niet: %2")
                        .arg(path, m_helper->errorString());
        qWarning("%s", qPrintable(m_failure));
        endHelper();
        return false;
    }
    m_sinceHeard.start();
    return true;
}

void WaveIn::readHelper() {
    QProcess* helper = m_helper;
    if (!helper)
        return;
    while (helper == m_helper && helper->canReadLine()) {
        const QByteArray line = helper->readLine();
        const auto m = captureprotocol::parse(line);
        m_sinceHeard.start();
        switch (m.kind) {
        case captureprotocol::Kind::Opened:
            m_answer = Answer::Opened;
            if (!m.text.isEmpty())
                m_deviceName = m.text;
            break;
        case captureprotocol::Kind::Failed:
            m_answer = Answer::Failed;
            m_failure = m.text;
            break;
        case captureprotocol::Kind::Levels:
            for (int c = 0; c < 2; ++c) {
                m_level[c] = m.level[c];
                m_instant[c] = m.instant[c];
            }
            m_sinceLevels.start();
            if (m_running && m_lost) {
                m_lost = false;
                emit deviceRestored(m_deviceName);
            }
            break;
        case captureprotocol::Kind::Lost:
            if (m_running)
                declareLost();
            break;
        case captureprotocol::Kind::Device:
        case captureprotocol::Kind::Invalid:
            break;
        }
    }
}

void WaveIn::helperEnded() {
    auto* helper = qobject_cast<QProcess*>(sender());
    if (!helper || helper != m_helper)
        return;
    // Whatever it wrote last still counts (a "failed" or "lost" line).
    readHelper();
    if (helper != m_helper)
        return;
    m_helper = nullptr;
    helper->deleteLater();
    if (!m_running)
        return; // start() is waiting and sees that the helper is gone
    declareLost();
    m_retry->start();
}

void WaveIn::declareLost() {
    m_sinceLevels.invalidate();
    if (m_lost)
        return;
    m_lost = true;
    emit deviceLost(m_deviceName);
}

void WaveIn::watch() {
    if (!m_running || !m_helper)
        return;
    // A helper hung in the driver ends no capture of its own accord.
    if (m_sinceHeard.hasExpired(hangMs)) {
        qWarning("Capture helper stopped answering; starting another");
        m_helper->kill();
    }
}

void WaveIn::endHelper() {
    QProcess* helper = std::exchange(m_helper, nullptr);
    if (!helper)
        return;
    disconnect(helper, nullptr, this, nullptr);
    if (helper->state() != QProcess::NotRunning) {
        // The end of its input asks it to stop; a stuck one is killed.
        helper->closeWriteChannel();
        if (!helper->waitForFinished(endTimeoutMs)) {
            helper->kill();
            helper->waitForFinished(endTimeoutMs);
        }
    }
    // Not deleted at once: stop() may be called from a slot of one of our
    // signals, emitted while this helper's output is being read.
    helper->deleteLater();
}

void WaveIn::stop() {
    m_running = false;
    m_lost = false;
    m_retry->stop();
    m_watchdog->stop();
    endHelper();
    m_sinceLevels.invalidate();
}

QString WaveIn::deviceName() const {
    if (!m_deviceName.isEmpty())
        return m_deviceName;
    if (m_deviceNumber >= 0 && m_deviceNumber < m_devices.size())
        return m_devices.at(m_deviceNumber).name;
    return {};
}

bool WaveIn::fresh() const {
    return m_sinceLevels.isValid() && !m_sinceLevels.hasExpired(staleMs);
}

int WaveIn::level(int channel) const {
    if (channel < 0 || channel > 1 || !fresh())
        return 0;
    return m_level[channel];
}

int WaveIn::instantLevel(int channel) const {
    if (channel < 0 || channel > 1 || !fresh())
        return 0;
    return m_instant[channel];
}
