#include "audio/gauge.h"

#include <QPainter>

#include <algorithm>

Gauge::Gauge(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Gauge::setMaximum(int maximum) {
    if (maximum == m_maximum)
        return;
    m_maximum = maximum;
    if (m_live)
        update();
}

void Gauge::setPosition(int position) {
    if (position == m_position)
        return;
    m_position = position;
    if (m_live)
        update();
}

void Gauge::setLive(bool live) {
    if (live == m_live)
        return;
    m_live = live;
    if (live)
        update();
}

QSize Gauge::sizeHint() const {
    return {390, 15};
}

void Gauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect area = rect();
    p.fillRect(area, palette().color(QPalette::Base));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(area.adjusted(0, 0, -1, -1));
    // Drawing only: the stored values stay what the caller set.
    if (m_maximum <= 0)
        return;
    const int position = std::clamp(m_position, 0, m_maximum);
    const QRect inner = area.adjusted(1, 1, -1, -1);
    const int filled = int(qint64(inner.width()) * position / m_maximum);
    if (filled > 0)
        p.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()),
                   palette().color(QPalette::Highlight));
}
