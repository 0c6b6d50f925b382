#pragma once

#include <QProcessEnvironment>
#include <QString>

// A PulseAudio server of this test's own (tests/support/pulse-private.sh),
// so that acceptance tests can run side by side without sharing audio.
class PrivatePulse {
public:
    PrivatePulse() = default;
    ~PrivatePulse();
    PrivatePulse(const PrivatePulse&) = delete;
    PrivatePulse& operator=(const PrivatePulse&) = delete;

    // Starts the server with its sockets and state under dir; on failure the
    // reason is in error().
    bool start(const QString& dir);
    void stop();

    // The variables a client needs to reach this server.
    QProcessEnvironment environment() const { return m_environment; }
    QString error() const { return m_error; }

private:
    QString m_dir;
    QProcessEnvironment m_environment;
    QString m_error;
};
