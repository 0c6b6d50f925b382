#pragma once

#include <QWidget>

class WaveIn;
class QTimer;

// A thin horizontal level bar for one channel: a blue bar, a 2 px peak
// spot and a threshold marker. It only paints; the numbers come from the
// WaveIn it is connected to. It polls about 25 times a second while visible
// and repaints only when what it shows changed.
class LevelMeter : public QWidget {
    Q_OBJECT
public:
    explicit LevelMeter(QWidget* parent = nullptr);

    void setSource(const WaveIn* source, int channel);
    // The level the detector reads (1-second peak, 0..100; 0 without source).
    int currentLevel() const;

    void setThreshold(int percent);
    int threshold() const { return m_threshold; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void poll();

    const WaveIn* m_source = nullptr;
    int m_channel = 0;
    int m_threshold = 0;
    double m_bar = 0;  // shown bar, percent, falls back smoothly
    int m_peak = 0;    // peak spot, percent
    int m_peakHoldTicks = 0;
    QTimer* m_timer = nullptr;
};
