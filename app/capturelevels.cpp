#include "app/capturelevels.h"

#include "audio/levelmeter.h"

CaptureLevels::CaptureLevels(Source source, LevelMeter& left, LevelMeter& right)
    : m_source(std::move(source)), m_left(left), m_right(right) {}

void CaptureLevels::setLeftThreshold(int percent) {
    m_left.setThreshold(percent);
}

void CaptureLevels::setRightThreshold(int percent) {
    m_right.setThreshold(percent);
}
