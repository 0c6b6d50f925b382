#pragma once

#include <QWidget>

class QToolButton;

// A numeric editor that shows its value on three seven-segment LED digits
// (lit segments yellow, unlit segments green, leading zeros unlit) with an up
// and a down button beside them. It takes the keyboard focus: Up/Down step
// by 1, PageUp/PageDown by 10, Home/End jump to the limits, and the mouse
// wheel steps by 1 per notch. Every value it is given is clamped to its range.
class LedSpinEdit : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Value READ value WRITE setValue NOTIFY valueChanged USER true)
    Q_PROPERTY(int minimum READ minimum)
    Q_PROPERTY(int maximum READ maximum)

public:
    // Size of one digit cell and the gap between cells, in pixels.
    static constexpr int DigitWidth = 15;
    static constexpr int DigitHeight = 25;
    static constexpr int DigitSpacing = 1;
    static constexpr int DigitCount = 3;

    explicit LedSpinEdit(QWidget* parent = nullptr);

    int value() const { return m_value; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int singleStep() const { return 1; }

    // Which segments of a digit are lit, bit 0 = a (top) ... bit 6 = g
    // (middle); 0 for an unlit leading position. Position 0 is the leftmost.
    quint8 litSegments(int position) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

public slots:
    void setValue(int value);
    void stepBy(int steps);

signals:
    void valueChanged(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QRect panelRect() const;
    void paintDigit(QPainter& painter, const QPointF& origin, quint8 lit) const;

    int m_value = 0;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_wheelRemainder = 0; // eighths of a degree not yet turned into a step
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
};
