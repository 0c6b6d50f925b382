#include "service/servicenotifier.h"

#include <QTimer>

#include <algorithm>

#ifdef SONDRAL_HAVE_LIBSYSTEMD
#include <systemd/sd-daemon.h>
#endif

ServiceNotifier::ServiceNotifier(QObject* parent) : QObject(parent) {
#ifdef SONDRAL_HAVE_LIBSYSTEMD
    m_active = !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
    uint64_t usec = 0;
    // Also false when WATCHDOG_PID names another process.
    if (m_active && sd_watchdog_enabled(0, &usec) > 0)
        m_watchdogInterval = std::chrono::microseconds(usec);
#endif
}

void ServiceNotifier::send([[maybe_unused]] const char* state) {
#ifdef SONDRAL_HAVE_LIBSYSTEMD
    if (m_active)
        sd_notify(0, state);
#endif
}

void ServiceNotifier::notifyReady() {
    send("READY=1");
}

void ServiceNotifier::notifyStopping() {
    if (m_watchdog)
        m_watchdog->stop();
    send("STOPPING=1");
}

void ServiceNotifier::startWatchdog(std::function<bool()> monitoringWorks) {
    if (m_watchdogInterval.count() <= 0 || m_watchdog)
        return;
    m_monitoringWorks = std::move(monitoringWorks);
    using namespace std::chrono;
    // Half the interval, as the manager recommends: one late ping is no kill.
    const auto half = duration_cast<milliseconds>(m_watchdogInterval / 2);
    m_watchdog = new QTimer(this);
    m_watchdog->setTimerType(Qt::PreciseTimer);
    m_watchdog->setInterval(std::max(half, milliseconds(1)));
    connect(m_watchdog, &QTimer::timeout, this, &ServiceNotifier::ping);
    m_watchdog->start();
    ping();
}

void ServiceNotifier::ping() {
    // A ping skipped now and then is harmless: the interval allows one. Only
    // monitoring that stays broken is killed.
    if (!m_monitoringWorks || m_monitoringWorks())
        send("WATCHDOG=1");
}
