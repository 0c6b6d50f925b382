#pragma once

#include "support/privatepulse.h"
#include "support/serverpeer.h"
#include "support/sondralinstance.h"
#include "support/toneplayer.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

// One simulated station for a test executable: its own PulseAudio server
// playing a programme, a server peer on loopback, and Sondral instances in
// directories of their own.
class Station {
public:
    Station();
    ~Station();

    // Why the station cannot run here (a tool missing), or empty.
    static QString missingTools();

    // Starts the private server, the programme stream (silent) and the peer.
    bool bringUp();
    QString error() const { return m_error; }

    TonePlayer& programme() { return m_programme; }
    // What a client of the station's sound server needs (another player).
    QProcessEnvironment pulseEnvironment() const { return m_pulse.environment(); }
    ServerPeer& peer() { return m_peer; }
    // What a client of the station's sound server needs (pactl, say).
    QProcessEnvironment soundEnvironment() const { return m_pulse.environment(); }
    quint16 hostPort() const { return m_hostPort; }

    // A Sondral in a fresh directory (dirName below the station's temporary
    // directory) with the given settings file (none when ini is null), started, and with
    // "Program started Up" logged when the settings enable the log.
    // extra is set over the sound server's variables (a display, say).
    SondralInstance*
    launch(const QString& dirName, const QByteArray& ini, bool waitForLog = true,
           const QProcessEnvironment& extra = {},
           SondralInstance::Platform platform = SondralInstance::Platform::Offscreen);
    SondralInstance& sondral() { return *m_sondral; }

    // The [InterPC] section that links Sondral to the peer.
    QByteArray linkSection() const;

    // Sends a keyword to Sondral's HostPort; returns when it left.
    qint64 send(const QByteArray& payload) { return m_peer.send(payload, m_hostPort); }

    // Spins for ms and returns how many datagrams came back meanwhile.
    qsizetype arrivalsDuring(int ms);
    // The next datagram to come back within timeoutMs when it is SN_ALARM.
    std::optional<ServerPeer::Arrival> nextAlarm(int timeoutMs);
    // Seconds from `since` to nextAlarm(), or a negative value without one.
    double secondsToAlarm(qint64 since, int timeoutMs);

private:
    QTemporaryDir m_dir;
    PrivatePulse m_pulse;
    TonePlayer m_programme;
    ServerPeer m_peer;
    quint16 m_hostPort = 0;
    std::unique_ptr<SondralInstance> m_sondral;
    QString m_error;
};
