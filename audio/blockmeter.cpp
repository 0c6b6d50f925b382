#include "audio/blockmeter.h"

#include "audio/capturestate.h"

void BlockMeter::reset(const levelmath::SampleFormat& format) {
    m_format = format;
    m_history.reset(format);
    m_dynamics.reset(format);
    m_state.ring().reset(format);
}

int BlockMeter::add(const char* data, qsizetype bytes) {
    const int blocks = m_history.add(data, bytes);
    if (m_measureDynamics && m_dynamics.add(data, bytes) > 0)
        m_state.secondJudged(m_dynamics.latest());
    m_state.ring().write(data, bytes);
    if (blocks > 0)
        m_state.blockMeasured(m_history);
    return blocks;
}

void BlockMeter::setDynamicsMeasured(bool on) {
    if (on == m_measureDynamics)
        return;
    m_measureDynamics = on;
    // A second is judged on audio the meter heard whole.
    m_dynamics.reset(m_format);
    m_state.secondJudged({});
}
