#pragma once

#include <QtGlobal>

// UDP ports on this machine, as the tests pick and check them: Sondral's
// HostPort, a server peer's port, a port nobody listens on.
class UdpPorts {
public:
    // A port that nothing held on any IPv4 address a moment ago (0 when none
    // could be had). Another process may still take it before the test does.
    static quint16 freePort();
    // True when a socket without address sharing can bind the port on every
    // IPv4 address, that is, nobody is bound to it.
    static bool canBind(quint16 port);
    // True when `ss -uln` shows a socket bound to the port (false also when ss is missing).
    static bool listedBySs(quint16 port);
};
