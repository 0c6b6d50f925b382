#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The lines that the capture helper (sondral-capture) writes on its standard
// output for WaveIn to read. One message per line, fields separated by one
// blank, text fields last and UTF-8 with line ends replaced:
//
//   opened <device name>          the device is open, audio will follow
//   failed <reason>               the device could not be opened; exits next
//   levels <l> <r> <il> <ir>      one measured block (integer percent)
//   lost <device name>            the device stopped delivering; exits next
//   device <hex id> <name>        one capture device (--list)
namespace captureprotocol {

enum class Kind { Invalid, Opened, Failed, Levels, Lost, Device };

struct Message {
    Kind kind = Kind::Invalid;
    QString text;  // name or reason
    QByteArray id; // Device only: the device's id, decoded
    int level[2] = {0, 0};
    int instant[2] = {0, 0};
};

QByteArray opened(const QString& deviceName);
QByteArray failed(const QString& reason);
QByteArray levels(int left, int right, int instantLeft, int instantRight);
QByteArray lost(const QString& deviceName);
QByteArray device(const QByteArray& id, const QString& name);

// Reads one line, with or without its line end. Anything unexpected,
// including a level outside 0 to 100, is Invalid.
Message parse(QByteArrayView line);

} // namespace captureprotocol
