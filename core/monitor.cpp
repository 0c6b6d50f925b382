#include "core/monitor.h"

#include "core/errorpresenter.h"

Monitor::Monitor(const Settings& settings, const MonitorPorts& ports)
    : m_errors(*ports.presenter), m_handler(settings, m_state, ports, m_errors),
      m_detector(settings, m_state, ports, m_errors) {
    Q_ASSERT(ports.status && ports.meters && ports.gauge && ports.timer && ports.sender &&
             ports.logger && ports.pump && ports.presenter);
}

void Monitor::Winsock1_DataArrival(const QByteArray& payload) {
    if (!m_ended)
        m_handler.handle(payload);
}

void Monitor::Winsock1_Error(int code) {
    if (!m_ended)
        m_handler.fail(code);
}

void Monitor::tmrSN_Timer() {
    if (!m_ended)
        m_detector.tick();
}

void Monitor::shutDown() {
    m_ended = true;
    m_detector.shutDown();
}
