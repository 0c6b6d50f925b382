#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One capture (input) device as the sound system lists it.
struct CaptureDevice {
    QByteArray id; // the sound system's own name for it; stable across restarts
    QString name;  // what the operator sees
};

// The capture devices in the sound system's order, the order in which Card
// numbers them: position i is the device that Card = i captures. Asked of the
// capture helper, so that this process never holds a sound-server
// connection that could go stale. Empty when there are none or the helper
// cannot be run; then error (when given) says why, in Dutch.
QList<CaptureDevice> captureDevices(QString* error = nullptr);
QStringList captureDeviceNames();

// Which entry of ids (the current list) is the device that had id and was at
// position in a list of countAtStart devices; -1 when it is not there. The
// same device may come back under a new id (plugged into another port), so
// without its id the one at the old position is taken, but only when the list
// is as long as before: with a device fewer, the one now at that position is
// a different card that happened to move up.
int findCaptureDevice(const QList<QByteArray>& ids, const QByteArray& id, int position,
                      int countAtStart);

// Where the capture helper program is: beside this program, else where the
// build put it.
QString captureHelperPath();
