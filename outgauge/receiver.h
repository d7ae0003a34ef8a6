// The non-blocking UDP receiver of OutGauge datagrams.
#pragma once

#include <cstddef>
#include <cstdint>

#include "outgauge/packet.h"

// One ogRead call takes at most this many datagrams off the socket, so that a
// flood from any sender cannot hold the main loop inside the read.
constexpr int OG_DRAIN_LIMIT = 256;

// Opens the receiver on ogPortOf(port) (the start-up message shows all of port), bound to
// every local IPv4 address. Returns true at once when already open. When the port is held by
// another program, it says so and ogRetry tries the port again from then on.
bool ogInit(std::int32_t port);

// Drains the queued datagrams without blocking. Returns true when at least one
// datagram of one byte or more was accepted; packet then holds the newest one (the first
// 96 bytes of a longer one).
// On an open receiver the identifier field of packet is set to -1 first; on a
// closed one packet is left untouched and the result is false.
bool ogRead(OutGaugePacket *packet);

// Closes the receiver if it is open, and no longer waits for its port; safe to call at any
// time, from any thread.
void ogClose();

// Called on every pass of the loop with the tick count; costs next to nothing unless the port
// was held by another program. Then, at most once a second, tries the port again quietly,
// and prints one line when the receiver opens. Another failure ends the trying, with its
// message. Returns true when this call opened the receiver.
bool ogRetry(std::uint32_t now);

// Whether the receiver is open.
bool ogIsOpen();

// The platform's part: the socket calls only.

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

// Backend: a non-blocking IPv4 UDP socket bound to every local address and port, with all it
// needs released on failure.
bool ogSysOpen(std::uint16_t port, OgSocket *out, OgOpenFailure *why);

// Backend: ogSysReceive's answer when nothing is queued.
constexpr long OG_SYS_EMPTY = -2;

// Backend: takes one datagram into buf (size bytes, the first size bytes of a longer one) and
// returns its whole length; -1 for a receive that failed and took nothing worth keeping;
// OG_SYS_EMPTY when nothing is queued.
long ogSysReceive(const OgSocket &socket, void *buf, std::size_t size);

// Backend: closes the socket and releases what ogSysOpen took.
void ogSysClose(const OgSocket &socket);
