#include "core/monitor.h"

#include "core/errorpresenter.h"

Monitor::Monitor(const Settings& settings, const MonitorPorts& ports)
    : m_errors(*ports.presenter), m_handler(settings, m_state, ports, m_errors),
      m_detector(settings, m_state, ports, m_errors) {
    Q_ASSERT(ports.status && ports.meters && ports.gauge && ports.timer && ports.sender &&
             ports.logger && ports.pump && ports.presenter);
}

void Monitor::Winsock1_DataArrival(const QByteArray& payload) {
    m_handler.handle(payload);
}

void Monitor::Winsock1_Error(int code) {
    m_handler.fail(code);
}

void Monitor::tmrSN_Timer() {
    m_detector.tick();
}
