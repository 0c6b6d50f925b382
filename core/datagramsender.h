#pragma once

#include <QByteArray>

// Sends one datagram to the configured server. Returns 0 on success,
// otherwise the failure as a Windows Sockets error code (10054 connection
// reset, 11001 host not found, ...), whatever the platform.
class DatagramSender {
public:
    virtual ~DatagramSender() = default;
    virtual int sendDatagram(const QByteArray& payload) = 0;
};
