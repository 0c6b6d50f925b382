#include "ui/ledspinedit.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <array>

namespace {

// Padding between the dark panel's edge and the digits; the focus rectangle
// is drawn inside it.
constexpr int PanelPadding = 3;
constexpr int ButtonWidth = 15;
constexpr int ButtonGap = 1;

// Segments a..g per decimal digit, bit 0 = a.
constexpr std::array<quint8, 10> DigitSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                                  0x6D, 0x7D, 0x07, 0x7F, 0x6F};

const QColor LitColour(255, 224, 0);
const QColor UnlitColour(0, 64, 0);
const QColor DimLitColour(150, 140, 40);
const QColor PanelColour(10, 10, 10);

// A horizontal segment as a flat hexagon from x0 to x1 around the line y.
QPolygonF horizontalSegment(qreal x0, qreal x1, qreal y, qreal thickness) {
    const qreal h = thickness / 2;
    return QPolygonF({QPointF(x0, y), QPointF(x0 + h, y - h), QPointF(x1 - h, y - h),
                      QPointF(x1, y), QPointF(x1 - h, y + h), QPointF(x0 + h, y + h)});
}

// A vertical segment as a flat hexagon from y0 to y1 around the line x.
QPolygonF verticalSegment(qreal x, qreal y0, qreal y1, qreal thickness) {
    const qreal h = thickness / 2;
    return QPolygonF({QPointF(x, y0), QPointF(x + h, y0 + h), QPointF(x + h, y1 - h),
                      QPointF(x, y1), QPointF(x - h, y1 - h), QPointF(x - h, y0 + h)});
}

} // namespace

LedSpinEdit::LedSpinEdit(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);

    const auto makeButton = [this](const QString& name, Qt::ArrowType arrow, int step) {
        auto* button = new QToolButton(this);
        button->setObjectName(name);
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setAutoRepeatDelay(400);
        button->setAutoRepeatInterval(60);
        // The editor keeps the focus; a click on a button gives it to the editor.
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::pressed, this, [this] { setFocus(Qt::MouseFocusReason); });
        connect(button, &QToolButton::clicked, this, [this, step] { stepBy(step); });
        return button;
    };
    m_up = makeButton(QStringLiteral("up"), Qt::UpArrow, 1);
    m_down = makeButton(QStringLiteral("down"), Qt::DownArrow, -1);

    const QRect panel = panelRect();
    const int buttonX = panel.right() + 1 + ButtonGap;
    const int buttonHeight = (panel.height() - ButtonGap) / 2;
    m_up->setGeometry(buttonX, 0, ButtonWidth, buttonHeight);
    m_down->setGeometry(buttonX, panel.height() - buttonHeight, ButtonWidth, buttonHeight);

    setFixedSize(sizeHint());
}

QRect LedSpinEdit::panelRect() const {
    const int digitsWidth = DigitCount * DigitWidth + (DigitCount - 1) * DigitSpacing;
    return QRect(0, 0, digitsWidth + 2 * PanelPadding, DigitHeight + 2 * PanelPadding);
}

QSize LedSpinEdit::sizeHint() const {
    const QRect panel = panelRect();
    return QSize(panel.width() + ButtonGap + ButtonWidth, panel.height());
}

void LedSpinEdit::setValue(int value) {
    const int clamped = std::clamp(value, m_minimum, m_maximum);
    if (clamped == m_value)
        return;
    m_value = clamped;
    update();
    emit valueChanged(m_value);
}

void LedSpinEdit::stepBy(int steps) {
    // Widened so that a large step count cannot overflow before clamping.
    const qint64 target = qint64(m_value) + qint64(steps) * singleStep();
    setValue(int(std::clamp<qint64>(target, m_minimum, m_maximum)));
}

quint8 LedSpinEdit::litSegments(int position) const {
    if (position < 0 || position >= DigitCount)
        return 0;
    int divisor = 1;
    for (int i = position; i < DigitCount - 1; ++i)
        divisor *= 10;
    // The rightmost digit is always lit, so 0 shows as a single lit 0.
    const bool leadingZero = position < DigitCount - 1 && m_value < divisor;
    if (leadingZero)
        return 0;
    return DigitSegments[(m_value / divisor) % 10];
}

void LedSpinEdit::paintDigit(QPainter& painter, const QPointF& origin, quint8 lit) const {
    constexpr qreal t = 3.0;   // segment thickness
    constexpr qreal gap = 0.6; // space between neighbouring segment ends
    constexpr qreal w = DigitWidth;
    constexpr qreal h = DigitHeight;
    constexpr qreal inset = 1.5; // keeps neighbouring digits apart visually
    const qreal left = inset + t / 2, right = w - inset - t / 2;
    const qreal top = 1 + t / 2, middle = h / 2, bottom = h - 1 - t / 2;

    const std::array<QPolygonF, 7> segments = {
        horizontalSegment(left + gap, right - gap, top, t),    // a
        verticalSegment(right, top + gap, middle - gap, t),    // b
        verticalSegment(right, middle + gap, bottom - gap, t), // c
        horizontalSegment(left + gap, right - gap, bottom, t), // d
        verticalSegment(left, middle + gap, bottom - gap, t),  // e
        verticalSegment(left, top + gap, middle - gap, t),     // f
        horizontalSegment(left + gap, right - gap, middle, t), // g
    };
    const QColor on = isEnabled() ? LitColour : DimLitColour;
    for (int s = 0; s < 7; ++s) {
        painter.setBrush((lit >> s) & 1 ? on : UnlitColour);
        painter.drawPolygon(segments[s].translated(origin));
    }
}

void LedSpinEdit::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect panel = panelRect();
    painter.fillRect(panel, PanelColour);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int position = 0; position < DigitCount; ++position) {
        const QPointF origin(PanelPadding + position * (DigitWidth + DigitSpacing), PanelPadding);
        paintDigit(painter, origin, litSegments(position));
    }

    if (hasFocus()) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter.drawRect(panel.adjusted(1, 1, -2, -2));
    }
}

void LedSpinEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        stepBy(1);
        break;
    case Qt::Key_Down:
        stepBy(-1);
        break;
    case Qt::Key_PageUp:
        stepBy(10);
        break;
    case Qt::Key_PageDown:
        stepBy(-10);
        break;
    case Qt::Key_Home:
        setValue(m_minimum);
        break;
    case Qt::Key_End:
        setValue(m_maximum);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void LedSpinEdit::wheelEvent(QWheelEvent* event) {
    // One notch is 120 eighths of a degree; touchpads deliver smaller parts,
    // which are collected until they make a whole step.
    constexpr int Notch = 120;
    m_wheelRemainder += event->angleDelta().y();
    const int steps = m_wheelRemainder / Notch;
    m_wheelRemainder -= steps * Notch;
    if (steps != 0)
        stepBy(steps);
    event->accept();
}

void LedSpinEdit::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}
