#pragma once

#include <QObject>

#include <chrono>
#include <functional>

class QTimer;

// Tells the service manager (systemd, Type=notify) how the program is doing:
// READY=1 when start-up is done, WATCHDOG=1 at half the watchdog interval
// the manager asked for, and STOPPING=1 when the run ends. The pings come
// from a timer on the thread that calls startWatchdog(), the UI thread, and
// only while the check given says the monitoring works: a UI thread that
// stops turning its event loop, or monitoring that stopped working, stops
// the pings, and the manager kills and restarts the program.
//
// Without NOTIFY_SOCKET in the environment (started by hand, or built
// without libsystemd) every call does nothing.
class ServiceNotifier : public QObject {
    Q_OBJECT
public:
    explicit ServiceNotifier(QObject* parent = nullptr);

    void notifyReady();
    // Once, when the run ends: the pings stop too.
    void notifyStopping();
    // Starts the pings, each sent only when monitoringWorks() says so;
    // nothing when no watchdog was asked for.
    void startWatchdog(std::function<bool()> monitoringWorks);

private:
    void send(const char* state);
    void ping();

    bool m_active = false;
    std::chrono::microseconds m_watchdogInterval{0};
    std::function<bool()> m_monitoringWorks;
    QTimer* m_watchdog = nullptr;
};
