// The non-blocking UDP receiver of OutGauge datagrams.
#pragma once

#include <cstdint>

#include "outgauge/packet.h"

// One ogRead call takes at most this many datagrams off the socket, so that a
// flood from any sender cannot hold the main loop inside the read.
constexpr int OG_DRAIN_LIMIT = 256;

// Opens the receiver on ogPortOf(port) (the start-up message shows all of port), bound to
// every local IPv4 address. Returns true at once when already open. When the port is held by
// another program, it says so and ogRetry tries the port again from then on.
bool ogInit(std::int32_t port);

// Drains the queued datagrams without blocking, each told apart by ogRecognize. Returns true
// when at least one datagram was accepted; packet then holds the newest one (OutGauge's: the
// first 96 bytes of a longer one; another game's: its values in the current layout), and extra,
// when not NULL, what it gives beside the record. An F1 datagram of a format before 2023 prints
// once a run that the game's UDP Format must be 2023 or later.
// On an open receiver the identifier field of packet is set to -1 first; on a
// closed one packet is left untouched and the result is false.
bool ogRead(OutGaugePacket *packet, OgExtra *extra = nullptr);

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
