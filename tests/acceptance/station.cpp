#include "acceptance/station.h"
#include "support/udpports.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

Station::Station() : m_dir(QDir::tempPath() + QStringLiteral("/sondral-acc.XXXXXX")) {}

Station::~Station() {
    if (m_sondral)
        m_sondral->terminate(3000);
    m_programme.stop();
    m_pulse.stop();
}

QString Station::missingTools() {
    for (const char* tool : {"pulseaudio", "pacat", "pactl", "bash"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
    }
    return {};
}

bool Station::bringUp() {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    if (!m_pulse.start(m_dir.filePath(QStringLiteral("pulse")))) {
        m_error = m_pulse.error();
        return false;
    }
    if (!m_programme.start(m_pulse.environment())) {
        m_error = QStringLiteral("pacat did not start");
        return false;
    }
    m_programme.silence();
    if (!m_peer.bind()) {
        m_error = QStringLiteral("the peer cannot bind a loopback port");
        return false;
    }
    m_hostPort = UdpPorts::freePort();
    if (m_hostPort == 0) {
        m_error = QStringLiteral("no free UDP port");
        return false;
    }
    return true;
}

SondralInstance* Station::launch(const QString& dirName, const QByteArray& ini, bool waitForLog,
                                 const QProcessEnvironment& extra,
                                 SondralInstance::Platform platform) {
    if (m_sondral)
        m_sondral->terminate(5000);
    const QString dir = m_dir.filePath(dirName);
    QDir().mkpath(dir);
    m_sondral = std::make_unique<SondralInstance>(dir);
    if (!ini.isNull())
        m_sondral->writeIni(ini);
    const qsizetype before = m_sondral->messages().size();
    QProcessEnvironment environment = m_pulse.environment();
    for (const QString& key : extra.keys())
        environment.insert(key, extra.value(key));
    if (!m_sondral->start(environment, platform)) {
        m_error = QStringLiteral("sondral did not start");
        return nullptr;
    }
    if (waitForLog &&
        !m_sondral->waitForMessage(QStringLiteral("Program started Up"), before, 20000)) {
        m_error = QStringLiteral("no \"Program started Up\" within 20 s");
        if (!m_sondral->isRunning())
            m_error += QStringLiteral(" (sondral ended, exit code %1)").arg(m_sondral->exitCode());
        m_error += QStringLiteral("; output:\n") + m_sondral->output();
        return nullptr;
    }
    return m_sondral.get();
}

QByteArray Station::linkSection() const {
    return QStringLiteral("[InterPC]\r\nRemoteName=127.0.0.1\r\nRemotePort=%1\r\nHostPort=%2\r\n")
        .arg(m_peer.port())
        .arg(m_hostPort)
        .toLatin1();
}

qsizetype Station::arrivalsDuring(int ms) {
    const qsizetype before = m_peer.arrivals().size();
    QTest::qWait(ms);
    return m_peer.arrivals().size() - before;
}

std::optional<ServerPeer::Arrival> Station::nextAlarm(int timeoutMs) {
    const qsizetype before = m_peer.arrivals().size();
    if (!m_peer.waitForArrivals(before + 1, timeoutMs))
        return std::nullopt;
    const ServerPeer::Arrival alarm = m_peer.arrivals().at(before);
    if (alarm.m_payload != "SN_ALARM")
        return std::nullopt;
    return alarm;
}

double Station::secondsToAlarm(qint64 since, int timeoutMs) {
    const std::optional<ServerPeer::Arrival> alarm = nextAlarm(timeoutMs);
    return alarm ? (alarm->m_atMs - since) / 1000.0 : -1.0;
}
