#include "app/gaugedisplay.h"

#include "audio/gauge.h"

void GaugeDisplay::setMaximum(int maximum) {
    m_gauge.setMaximum(maximum);
}

void GaugeDisplay::setPosition(int position) {
    m_gauge.setPosition(position);
}
