// The OutGauge receiver's backend contract: what the portable part (receiver.cpp) asks of the
// socket backends (receiver_posix.cpp, receiver_win32.cpp). Only the receiver and its tests
// include it.
#pragma once

#include <cstddef>
#include <cstdint>

// A socket of the platform and what it needs beside it.
struct OgSocket {
    std::intptr_t handle; // the descriptor or SOCKET
    void *event;          // Windows: the event that selects the socket's network events
};

// Why ogSysOpen failed.
enum OgOpenFailure {
    OG_FAIL_STARTUP, // the socket library did not start
    OG_FAIL_SOCKET,  // no socket
    OG_FAIL_BUSY,    // the port is held by another program
    OG_FAIL_BIND,    // any other bind failure
    OG_FAIL_SELECT,  // the socket could not be made non-blocking
};

// A non-blocking IPv4 UDP socket bound to every local address and port, with all it
// needs released on failure.
bool ogSysOpen(std::uint16_t port, OgSocket *out, OgOpenFailure *why);

// ogSysReceive's answer when nothing is queued.
constexpr long OG_SYS_EMPTY = -2;

// Takes one datagram into buf (size bytes, the first size bytes of a longer one) and
// returns its whole length; -1 for a receive that failed and took nothing worth keeping;
// OG_SYS_EMPTY when nothing is queued.
long ogSysReceive(const OgSocket &socket, void *buf, std::size_t size);

// Closes the socket and releases what ogSysOpen took.
void ogSysClose(const OgSocket &socket);
