// Little-endian field access on the raw OutGauge record.
#include "outgauge/packet.h"

#include "base/text.h"
#include "outgauge/bytes.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

std::uint32_t readU32(const OutGaugePacket &packet, std::size_t off)
{
    return bytesU32(packet.bytes, off);
}

void writeU32(OutGaugePacket *packet, std::size_t off, std::uint32_t v)
{
    bytesPutU32(packet->bytes, off, v);
}

} // namespace

bool ogPacketAccept(OutGaugePacket *packet, const void *data, long length)
{
    if (length < 1)
        return false;
    // The record becomes exactly this datagram: bytes past a short one are zeroed rather
    // than left over from an older datagram.
    const std::size_t len = length < static_cast<long>(OG_PACKET_SIZE)
                                ? static_cast<std::size_t>(length)
                                : OG_PACKET_SIZE;
    std::memcpy(packet->bytes, data, len);
    std::memset(packet->bytes + len, 0, OG_PACKET_SIZE - len);
    if (len < OG_OFF_LIGHTS_AVAILABLE + 4)
        writeU32(packet, OG_OFF_LIGHTS_AVAILABLE, 0);
    return true;
}

std::uint16_t ogPacketFlags(const OutGaugePacket &packet)
{
    return static_cast<std::uint16_t>(packet.bytes[OG_OFF_FLAGS] |
                                      (packet.bytes[OG_OFF_FLAGS + 1] << 8));
}

float ogPacketRpm(const OutGaugePacket &packet)
{
    return bytesF32(packet.bytes, OG_OFF_RPM);
}

float ogPacketFuel(const OutGaugePacket &packet)
{
    return bytesF32(packet.bytes, OG_OFF_FUEL);
}

std::uint32_t ogPacketLightsAvailable(const OutGaugePacket &packet)
{
    return readU32(packet, OG_OFF_LIGHTS_AVAILABLE);
}

std::uint32_t ogPacketLightsOn(const OutGaugePacket &packet)
{
    return readU32(packet, OG_OFF_LIGHTS_ON);
}

std::int32_t ogPacketId(const OutGaugePacket &packet)
{
    return bytesS32(packet.bytes, OG_OFF_ID);
}

void ogPacketCarName(const OutGaugePacket &packet, char *out)
{
    const unsigned char *field = packet.bytes + OG_OFF_CAR;
    std::size_t n = 0;
    bool printable = true;
    while (n < 4 && field[n] != 0) {
        printable = printable && textPrintable(static_cast<char>(field[n]));
        out[n] = static_cast<char>(field[n]);
        ++n;
    }
    if (!printable && field[3] == 0) {
        static const char hex[] = "0123456789ABCDEF";
        for (std::size_t i = 0; i < 3; ++i) {
            const unsigned char b = field[2 - i];
            out[2 * i] = hex[b >> 4];
            out[2 * i + 1] = hex[b & 0x0F];
        }
        n = 6;
    }
    while (n < OG_CAR_NAME_SIZE)
        out[n++] = '\0';
}

void ogCarName(const OutGaugePacket &packet, const OgExtra &extra, char *out)
{
    if (extra.car[0] == '\0') {
        ogPacketCarName(packet, out);
        return;
    }
    std::memcpy(out, extra.car, OG_CAR_NAME_SIZE);
    out[OG_CAR_NAME_SIZE - 1] = '\0';
}

bool ogCarNameIsSkinId(const char *name)
{
    std::size_t n = 0;
    while (n < 6 && std::isxdigit(static_cast<unsigned char>(name[n])))
        ++n;
    return n == 6 && name[6] == '\0';
}

bool ogCarNameFits(const char *name)
{
    return std::strlen(name) <= 4 || ogCarNameIsSkinId(name);
}

void ogPacketSetCarName(OutGaugePacket *packet, const char *name)
{
    unsigned char *field = packet->bytes + OG_OFF_CAR;
    if (name != nullptr && ogCarNameIsSkinId(name)) {
        const unsigned long skin = std::strtoul(name, nullptr, 16);
        for (std::size_t i = 0; i < 3; ++i)
            field[i] = static_cast<unsigned char>(skin >> (8 * i));
        field[3] = 0;
        return;
    }
    std::size_t len = name ? std::strlen(name) : 0;
    for (std::size_t i = 0; i < 4; ++i)
        field[i] = i < len ? static_cast<unsigned char>(name[i]) : 0;
}

void ogPacketSetFlags(OutGaugePacket *packet, std::uint16_t flags)
{
    packet->bytes[OG_OFF_FLAGS] = static_cast<unsigned char>(flags & 0xFF);
    packet->bytes[OG_OFF_FLAGS + 1] = static_cast<unsigned char>(flags >> 8);
}

void ogPacketSetRpm(OutGaugePacket *packet, float rpm)
{
    bytesPutF32(packet->bytes, OG_OFF_RPM, rpm);
}

void ogPacketSetFuel(OutGaugePacket *packet, float fuel)
{
    bytesPutF32(packet->bytes, OG_OFF_FUEL, fuel);
}

void ogPacketSetLights(OutGaugePacket *packet, std::uint32_t available, std::uint32_t on)
{
    writeU32(packet, OG_OFF_LIGHTS_AVAILABLE, available);
    writeU32(packet, OG_OFF_LIGHTS_ON, on);
}

void ogPacketSetId(OutGaugePacket *packet, std::int32_t id)
{
    std::uint32_t bits;
    std::memcpy(&bits, &id, sizeof bits);
    writeU32(packet, OG_OFF_ID, bits);
}
