#include "audio/connector.h"

#include "audio/levelmeter.h"

void Connector::connect(const WaveIn& source, LevelMeter& left, LevelMeter& right) {
    left.setSource(&source, 0);
    right.setSource(&source, 1);
}
