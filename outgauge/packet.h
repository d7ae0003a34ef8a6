// The OutGauge datagram record and readers of the fields the program uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

// Size of the record. A longer datagram (one sender appends fields after the identifier)
// is taken by its first 96 bytes.
constexpr std::size_t OG_PACKET_SIZE = 96;

// Field offsets within the simulator's OutGauge layout (little-endian).
constexpr std::size_t OG_OFF_CAR = 4;
constexpr std::size_t OG_OFF_FLAGS = 8;
constexpr std::size_t OG_OFF_RPM = 16;
constexpr std::size_t OG_OFF_FUEL = 28;
constexpr std::size_t OG_OFF_LIGHTS_AVAILABLE = 40;
constexpr std::size_t OG_OFF_LIGHTS_ON = 44;
constexpr std::size_t OG_OFF_ID = 92;

// The two layouts of the record. Senders of the earlier layout put the dashboard lights in
// the flags word and leave offsets 36 to 47 zero. Today's senders put in the flags word the
// Shift and Ctrl keys and the units, and the lights in two words of their own: the lights
// the car has (offset 40, never zero from them) and the lights switched on (offset 44).

// Flags bits of the dashboard lights in the earlier layout.
constexpr std::uint16_t OG_SHIFT = 0x0001;
constexpr std::uint16_t OG_FULLBEAM = 0x0002;
constexpr std::uint16_t OG_HANDBRAKE = 0x0004;
constexpr std::uint16_t OG_PITSPEED = 0x0008;
constexpr std::uint16_t OG_TC = 0x0010;
constexpr std::uint16_t OG_SIGNAL_L = 0x0040;
constexpr std::uint16_t OG_SIGNAL_R = 0x0080;
constexpr std::uint16_t OG_REDLINE = 0x0100;
constexpr std::uint16_t OG_OILWARN = 0x0200;

// Flags bits of the units, the same in both layouts.
constexpr std::uint16_t OG_KM = 0x4000;
constexpr std::uint16_t OG_BAR = 0x8000;

// Bits of the light words of the current layout; bits 0 to 10 mean the same with every
// sender, the bits above differ between senders and are never read.
constexpr std::uint32_t OG_DL_SHIFT = 1u << 0;
constexpr std::uint32_t OG_DL_FULLBEAM = 1u << 1;
constexpr std::uint32_t OG_DL_HANDBRAKE = 1u << 2;
constexpr std::uint32_t OG_DL_PITSPEED = 1u << 3;
constexpr std::uint32_t OG_DL_TC = 1u << 4;
constexpr std::uint32_t OG_DL_SIGNAL_L = 1u << 5;
constexpr std::uint32_t OG_DL_SIGNAL_R = 1u << 6;
constexpr std::uint32_t OG_DL_SIGNAL_ANY = 1u << 7; // one lamp for both sides
constexpr std::uint32_t OG_DL_OILWARN = 1u << 8;
constexpr std::uint32_t OG_DL_BATTERY = 1u << 9;
constexpr std::uint32_t OG_DL_ABS = 1u << 10;
constexpr std::uint32_t OG_DL_SHARED = 0x7FF; // bits 0 to 10

// The UDP port on which a configured port number (outGaugePort) receives: its low 16 bits, so
// that 122088 receives on 56552. The number is shown as it is configured.
constexpr std::uint16_t ogPortOf(std::int32_t configured)
{
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(configured) & 0xFFFFu);
}

// The newest datagram, kept as raw bytes; fields are read through byte copies.
struct OutGaugePacket {
    unsigned char bytes[OG_PACKET_SIZE];
};
static_assert(sizeof(OutGaugePacket) == OG_PACKET_SIZE, "the record is the datagram's bytes");

// Takes a received datagram of length bytes, of which data holds the first
// min(length, 96); a negative length is a failed receive. A datagram of one byte or more
// becomes the record: its first 96 bytes, the bytes past a shorter one zeroed, and a
// lights-available word that the datagram ends inside zeroed too, so that only a whole
// word counts. The result is then true; anything else leaves the record as it was and
// gives false.
bool ogPacketAccept(OutGaugePacket *packet, const void *data, long length);

std::uint16_t ogPacketFlags(const OutGaugePacket &packet);
float ogPacketRpm(const OutGaugePacket &packet);
float ogPacketFuel(const OutGaugePacket &packet);
std::uint32_t ogPacketLightsAvailable(const OutGaugePacket &packet);
std::uint32_t ogPacketLightsOn(const OutGaugePacket &packet);
std::int32_t ogPacketId(const OutGaugePacket &packet);

// The longest car name, plus its NUL: a mod car's SkinID as six hex digits.
constexpr std::size_t OG_CAR_NAME_SIZE = 7;

// The car name: the characters of the car field up to the first NUL, at most 4. A mod car
// of the simulator sends its SkinID instead, a 24-bit number stored little-endian and a NUL:
// a field whose fourth byte is NUL and whose name holds a byte outside printable ASCII is
// named by the SkinID as six upper-case hex digits, most significant first (bytes E6 82 58
// 00 give "5882E6"), into out, which holds OG_CAR_NAME_SIZE bytes; always NUL-terminated.
void ogPacketCarName(const OutGaugePacket &packet, char *out);

// Whether name is six hex digits, the name of a mod car.
bool ogCarNameIsSkinId(const char *name);

// Whether the car field can carry name: at most 4 characters, or a mod car's SkinID.
bool ogCarNameFits(const char *name);

// What a datagram gives beside the record. OutGauge's own datagrams fill the record alone; the
// other games' telemetry is written into the record in the current layout, and what the layout
// has no place for comes here.
struct OgExtra {
    char car[OG_CAR_NAME_SIZE]; // the car's name (up to 6 characters); empty: the record's
    float maxRpm;               // the engine's maximum speed; NaN when the datagram has none
    bool ownShiftLight;         // the shift light is the light words' own; otherwise the
                                // profile's shiftAt share of maxRpm lights it
};

// What an OutGauge datagram gives beside the record: nothing.
inline constexpr OgExtra OG_EXTRA_OUTGAUGE = {{0}, std::numeric_limits<float>::quiet_NaN(), true};

// The car name of the newest datagram: extra's when it has one, else the record's
// (ogPacketCarName), into out, which holds OG_CAR_NAME_SIZE bytes.
void ogCarName(const OutGaugePacket &packet, const OgExtra &extra, char *out);

// Writers, for the datagram sender and the checker. A name of six hex digits is written
// as the SkinID it names; any other is cut to 4 characters and NUL-padded.
void ogPacketSetCarName(OutGaugePacket *packet, const char *name);
void ogPacketSetFlags(OutGaugePacket *packet, std::uint16_t flags);
void ogPacketSetRpm(OutGaugePacket *packet, float rpm);
void ogPacketSetFuel(OutGaugePacket *packet, float fuel);
void ogPacketSetLights(OutGaugePacket *packet, std::uint32_t available, std::uint32_t on);
void ogPacketSetId(OutGaugePacket *packet, std::int32_t id);
