#include "platform/qtticktimer.h"

QtTickTimer::QtTickTimer(QObject* parent) : QObject(parent) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(IntervalMs);
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, &QtTickTimer::timeout);
}

void QtTickTimer::start() {
    if (!m_timer.isActive())
        m_timer.start();
}

void QtTickTimer::stop() {
    m_timer.stop();
}
