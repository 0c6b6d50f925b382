#pragma once

#include <QWidget>

class WaveIn;
class QTimer;

// A thin horizontal level bar for one channel: a blue bar, a 2 px peak
// spot and a threshold marker. It only paints; the numbers come from the
// WaveIn it is connected to. It polls about 25 times a second while shown
// and live, and repaints only when what it shows changed; its owner turns
// it off (setLive) while nobody can see it.
class LevelMeter : public QWidget {
    Q_OBJECT
public:
    explicit LevelMeter(QWidget* parent = nullptr);

    void setSource(const WaveIn* source, int channel);

    void setThreshold(int percent);
    int threshold() const { return m_threshold; }

    // Not live: no polling and no painting, values kept; live again, it
    // shows the level of now at once.
    void setLive(bool live);

    QSize sizeHint() const override;

    // Drawing constants: polls per second, fall of the bar per poll and how
    // long the peak spot is held (both in percent and polls).
    static constexpr int pollIntervalMs = 40;
    static constexpr int barFallPerPoll = 4;
    static constexpr int peakFallPerPoll = 2;
    static constexpr int peakHoldPolls = 20;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void poll();
    void updatePolling();
    // What the current state draws, in pixels: it changes only when a repaint
    // is needed.
    struct Drawn {
        int bar = -1;
        int peak = -1;
        int threshold = -1;
        int width = -1;
        bool operator==(const Drawn&) const = default;
    };
    Drawn drawnNow() const;
    int toPixels(double percent) const;

    const WaveIn* m_source = nullptr;
    int m_channel = 0;
    int m_threshold = 0;
    double m_bar = 0; // shown bar, percent, falls back smoothly
    int m_peak = 0;   // peak spot, percent
    int m_peakHoldTicks = 0;
    bool m_live = true;
    QTimer* m_timer = nullptr;
    Drawn m_drawn; // as last painted or scheduled
};
