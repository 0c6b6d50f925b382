#pragma once

#include <QByteArray>

#include <optional>

// The datagram socket to the server, as the monitor needs it.
class DatagramLink {
public:
    // A datagram taken off the socket, or the failure to read one.
    struct Received {
        QByteArray payload;
        // 0 when payload was read; otherwise the failure as a Windows Sockets
        // code (10054 for a refused earlier send).
        int error = 0;
    };

    // Datagrams handled in one turn of the event loop at most, whoever reads
    // them (the socket's own reading, the tick): a flood of junk is worked
    // off a bounded slice at a time, in arrival order, and the tick, the
    // window and the status page get their turn in between.
    static constexpr int maxPerTurn = 64;

    virtual ~DatagramLink() = default;
    // Sends one datagram to the configured server. Returns 0 on success,
    // otherwise the failure as a Windows Sockets code (10054 connection
    // reset, 11001 host not found, ...), whatever the platform.
    virtual int sendDatagram(const QByteArray& payload) = 0;
    // The next datagram already waiting on the socket, in arrival order;
    // nothing when none waits. Never waits for one to arrive.
    virtual std::optional<Received> takePending() = 0;
};
