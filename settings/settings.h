#pragma once

#include <QString>
#include <QtGlobal>

// The configuration of one run, read once at start-up by ReadSettings and
// only read afterwards. Field names follow the keys of sondral.ini; the time
// limits are in seconds, the thresholds in percent on the level scale.
struct Settings {
    qint16 Card = 0;
    qint16 AutoVol = 0;
    qint16 Autotime = 0;
    qint16 Feed1Vol = 0;
    qint16 Feed2Vol = 0;
    qint16 Feed3Vol = 0;
    qint16 Feed4Vol = 0;
    qint16 Feed1time = 0;
    qint16 Feed2time = 0;
    qint16 Feed3time = 0;
    qint16 Feed4time = 0;
    QString RemoteName;
    qint32 RemotePort = 0;
    qint32 HostPort = 0;
    bool Log = false;

    // The socket is set up only when all three link values are usable.
    bool linkComplete() const { return !RemoteName.isEmpty() && RemotePort > 0 && HostPort > 0; }
};
