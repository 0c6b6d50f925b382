#pragma once

#include <QWidget>

// The silence gauge: a bar without text showing position against maximum.
// Empty (maximum 0) until the first mode datagram sets a maximum.
class Gauge : public QWidget {
    Q_OBJECT
public:
    explicit Gauge(QWidget* parent = nullptr);

    void setMaximum(int maximum);
    void setPosition(int position);
    // Not live: values kept, nothing painted; live again, drawn at once.
    void setLive(bool live);
    int maximum() const { return m_maximum; }
    int position() const { return m_position; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_maximum = 0;
    int m_position = 0;
    bool m_live = true;
};
