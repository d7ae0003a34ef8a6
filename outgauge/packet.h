// The OutGauge datagram record and readers of the fields the program uses.
#pragma once

#include <cstddef>
#include <cstdint>

// Size of the record and of the largest datagram accepted.
constexpr std::size_t OG_PACKET_SIZE = 96;

// Field offsets within the simulator's OutGauge layout (little-endian).
constexpr std::size_t OG_OFF_CAR = 4;
constexpr std::size_t OG_OFF_FLAGS = 8;
constexpr std::size_t OG_OFF_RPM = 16;
constexpr std::size_t OG_OFF_FUEL = 28;
constexpr std::size_t OG_OFF_ID = 92;

// Flags bits of the dashboard.
constexpr std::uint16_t OG_SHIFT = 0x0001;
constexpr std::uint16_t OG_FULLBEAM = 0x0002;
constexpr std::uint16_t OG_HANDBRAKE = 0x0004;
constexpr std::uint16_t OG_PITSPEED = 0x0008;
constexpr std::uint16_t OG_TC = 0x0010;
constexpr std::uint16_t OG_SIGNAL_L = 0x0040;
constexpr std::uint16_t OG_SIGNAL_R = 0x0080;
constexpr std::uint16_t OG_REDLINE = 0x0100;
constexpr std::uint16_t OG_OILWARN = 0x0200;

// The newest datagram, kept as raw bytes; fields are read through byte copies.
struct OutGaugePacket {
    unsigned char bytes[OG_PACKET_SIZE];
};

// Takes a received datagram of length bytes (a negative length: a failed receive): one of
// 1 to 96 bytes becomes the record, the bytes past it zeroed, and the result is true; any
// other leaves the record as it was and gives false.
bool ogPacketAccept(OutGaugePacket &packet, const void *data, long length);

std::uint16_t ogPacketFlags(const OutGaugePacket &packet);
float ogPacketRpm(const OutGaugePacket &packet);
float ogPacketFuel(const OutGaugePacket &packet);
std::int32_t ogPacketId(const OutGaugePacket &packet);

// Copies the car name (at most 4 characters, ending at the first NUL) into out,
// always NUL-terminated.
void ogPacketCarName(const OutGaugePacket &packet, char out[5]);

// Writers, for the datagram sender and the tests.
void ogPacketSetCarName(OutGaugePacket &packet, const char *name);
void ogPacketSetFlags(OutGaugePacket &packet, std::uint16_t flags);
void ogPacketSetRpm(OutGaugePacket &packet, float rpm);
void ogPacketSetFuel(OutGaugePacket &packet, float fuel);
void ogPacketSetId(OutGaugePacket &packet, std::int32_t id);
