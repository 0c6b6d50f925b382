#include "audio/levelmeter.h"

#include "audio/wavein.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

const QColor background(0x20, 0x20, 0x24);
const QColor barColour(0x20, 0x60, 0xff);
const QColor peakColour(0x9c, 0xc0, 0xff);
const QColor markerColour(0xff, 0x30, 0x20);

} // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent), m_timer(new QTimer(this)) {
    m_timer->setInterval(pollIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &LevelMeter::poll);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LevelMeter::setSource(const WaveIn* source, int channel) {
    m_source = source;
    m_channel = channel;
}

void LevelMeter::setThreshold(int percent) {
    m_threshold = percent;
    if (!m_live)
        return; // drawn when live again
    const Drawn now = drawnNow();
    if (now != m_drawn) {
        m_drawn = now;
        update();
    }
}

void LevelMeter::setLive(bool live) {
    if (live == m_live)
        return;
    m_live = live;
    updatePolling();
}

void LevelMeter::updatePolling() {
    const bool poll = m_live && isVisible();
    if (poll == m_timer->isActive())
        return;
    if (!poll) {
        m_timer->stop();
        return;
    }
    // Catch up at once: what the bar showed before is long out of date.
    m_bar = 0;
    m_peak = 0;
    m_peakHoldTicks = 0;
    m_timer->start();
    this->poll();
    update();
}

QSize LevelMeter::sizeHint() const {
    return {390, 17};
}

void LevelMeter::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updatePolling();
}

void LevelMeter::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updatePolling();
}

void LevelMeter::poll() {
    const int instant = m_source ? std::clamp(m_source->instantLevel(m_channel), 0, 100) : 0;

    // The bar jumps up at once and falls back in steps, so short peaks stay
    // visible to the eye. The detector does not read this.
    m_bar = std::max(double(instant), m_bar - barFallPerPoll);
    if (instant >= m_peak) {
        m_peak = instant;
        m_peakHoldTicks = peakHoldPolls;
    } else if (m_peakHoldTicks > 0) {
        --m_peakHoldTicks;
    } else {
        m_peak = std::max(instant, m_peak - peakFallPerPoll);
    }

    const Drawn now = drawnNow();
    if (now != m_drawn) {
        m_drawn = now;
        update();
    }
}

int LevelMeter::toPixels(double percent) const {
    const double clamped = std::clamp(percent, 0.0, 100.0);
    return int(std::lround(clamped * width() / 100.0));
}

LevelMeter::Drawn LevelMeter::drawnNow() const {
    Drawn d;
    d.bar = toPixels(m_bar);
    d.peak = m_peak > 0 ? toPixels(m_peak) : -1;
    d.threshold = toPixels(m_threshold);
    d.width = width();
    return d;
}

void LevelMeter::paintEvent(QPaintEvent*) {
    m_drawn = drawnNow();
    QPainter p(this);
    const QRect area = rect();
    p.fillRect(area, background);
    if (m_drawn.bar > 0)
        p.fillRect(QRect(0, 0, m_drawn.bar, area.height()), barColour);
    if (m_drawn.peak >= 0) {
        const int x = std::clamp(m_drawn.peak - 2, 0, std::max(0, area.width() - 2));
        p.fillRect(QRect(x, 0, 2, area.height()), peakColour);
    }
    // The marker sits on the threshold percent; at 0 or 100 it is kept
    // inside the widget so that it stays visible.
    const int mx = std::clamp(m_drawn.threshold - 1, 0, std::max(0, area.width() - 2));
    p.fillRect(QRect(mx, 0, 2, area.height()), markerColour);
}
