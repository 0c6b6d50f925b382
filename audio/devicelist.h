#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One capture (input) device as the sound server lists it.
struct CaptureDevice {
    QByteArray id; // the sound server's own name for it; stable across restarts
    QString name;  // what the operator sees
};

// The capture devices in the order in which Card numbers them: position i is
// the device that Card = i captures.
using CaptureDeviceList = QList<CaptureDevice>;

// Which entry of ids (the current list) is the device that had id and was at
// position in a list of countAtStart devices; -1 when it is not there. The
// same device may come back under a new id (plugged into another port), so
// without its id the one at the old position is taken, but only when the list
// is as long as before: with a device fewer, the one now at that position is
// a different card that happened to move up. countAtStart < 0 means capture
// was asked for before any list was seen (Sondral started ahead of the sound
// server): then the position alone decides.
int findCaptureDevice(const QList<QByteArray>& ids, const QByteArray& id, int position,
                      int countAtStart);

// As above, but a device named preferredId (the operator's CardName) wins
// whenever it is listed, over the captured id and over the position.
int findCaptureDevice(const QList<QByteArray>& ids, const QByteArray& preferredId,
                      const QByteArray& id, int position, int countAtStart);
