#pragma once

#include "core/silencegauge.h"

class Gauge;

// The count of silent seconds on the main window's gauge widget.
class GaugeDisplay : public SilenceGauge {
public:
    explicit GaugeDisplay(Gauge& gauge) : m_gauge(gauge) {}

    void setMaximum(int maximum) override;
    void setPosition(int position) override;

private:
    Gauge& m_gauge;
};
