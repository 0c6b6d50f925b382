#pragma once

// A failure inside a monitoring handler. The handler abandons its remaining
// steps and shows the code to the operator. Ports that cannot do their work
// may throw it; the handlers throw it for a failed send and an overflow.
struct MonitorFailure {
    int code = 0;
};

namespace FailureCode {
// Counter passing the 16-bit range.
constexpr int Overflow = 6;
// Connection reset by the peer: a UDP socket reports it after an earlier
// datagram was refused by the peer's host. Never worth a message box.
constexpr int ConnectionReset = 10054;
// Host not found.
constexpr int HostNotFound = 11001;
} // namespace FailureCode
