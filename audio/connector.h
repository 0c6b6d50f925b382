#pragma once

class WaveIn;
class LevelMeter;

// The fixed routing from capture to the two meters: left channel to the
// left meter, right channel to the right one. Set once when the main window
// is built.
class Connector {
public:
    static void connect(const WaveIn& source, LevelMeter& left, LevelMeter& right);
};
