#pragma once

#include <QString>
#include <QtGlobal>

// The monitoring state driven by the server's datagrams and the tick. All
// fields start at zero or empty.
struct ModeState {
    // 0 none yet, 1 LIVE, 2 AUTO, 3..6 FEED 1..FEED 4.
    qint16 Mode = 0;
    // Level threshold of the source on air (percent); silent is below half.
    qint16 ArmedVol = 0;
    // Time limit of the source on air, in ticks of one second.
    qint16 ArmedTime = 0;
    // Consecutive silent ticks.
    qint16 SilenceCount = 0;
    // Status text saved when a pause begins, restored on resume.
    QString SavedStatus;
    // Payload of the datagram being (or last) handled, one char per byte.
    QString LastDatagram;
};
