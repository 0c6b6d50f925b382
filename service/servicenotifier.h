#pragma once

#include <QObject>

#include <chrono>

class QTimer;

// Tells the service manager (systemd, Type=notify) how the program is doing:
// READY=1 when start-up is done, WATCHDOG=1 at half the watchdog interval
// the manager asked for, and STOPPING=1 when the program closes. The pings
// come from a timer on the thread that calls startWatchdog(), the UI thread,
// so a UI thread that stops turning its event loop stops the pings and the
// manager kills and restarts the program.
//
// Without NOTIFY_SOCKET in the environment (started by hand, or built
// without libsystemd) every call does nothing.
class ServiceNotifier : public QObject {
    Q_OBJECT
public:
    explicit ServiceNotifier(QObject* parent = nullptr);

    // True when there is a service manager to talk to.
    bool active() const { return m_active; }

    // The interval the manager expects pings within; zero when it asked for
    // no watchdog (or the watchdog is meant for another process).
    std::chrono::microseconds watchdogInterval() const { return m_watchdogInterval; }

    void notifyReady();
    void notifyStopping();
    // Starts the pings; nothing when no watchdog was asked for.
    void startWatchdog();

private:
    void send(const char* state);

    bool m_active = false;
    bool m_stopping = false;
    std::chrono::microseconds m_watchdogInterval{0};
    QTimer* m_watchdog = nullptr;
};
