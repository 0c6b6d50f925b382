#pragma once

// Failure codes the monitor reports besides the socket's own (which use the
// Windows Sockets numbering on every platform).
namespace FailureCode {
// The silence count would pass the 16-bit range.
constexpr int Overflow = 6;
// Connection reset by the peer: a UDP socket reports it after an earlier
// datagram was refused by the peer's host. Never worth a message box.
constexpr int ConnectionReset = 10054;
// Host not found.
constexpr int HostNotFound = 11001;
} // namespace FailureCode
