// Little-endian field access on the raw OutGauge record.
#include "outgauge/packet.h"

#include "base/text.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

std::uint32_t readU32(const OutGaugePacket &packet, std::size_t off)
{
    const unsigned char *b = packet.bytes + off;
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void writeU32(OutGaugePacket *packet, std::size_t off, std::uint32_t v)
{
    unsigned char *b = packet->bytes + off;
    b[0] = static_cast<unsigned char>(v & 0xFF);
    b[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
    b[2] = static_cast<unsigned char>((v >> 16) & 0xFF);
    b[3] = static_cast<unsigned char>((v >> 24) & 0xFF);
}

float readFloat(const OutGaugePacket &packet, std::size_t off)
{
    std::uint32_t bits = readU32(packet, off);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void writeFloat(OutGaugePacket *packet, std::size_t off, float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    writeU32(packet, off, bits);
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
    return readFloat(packet, OG_OFF_RPM);
}

float ogPacketFuel(const OutGaugePacket &packet)
{
    return readFloat(packet, OG_OFF_FUEL);
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
    std::uint32_t bits = readU32(packet, OG_OFF_ID);
    std::int32_t id;
    std::memcpy(&id, &bits, sizeof id);
    return id;
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
    writeFloat(packet, OG_OFF_RPM, rpm);
}

void ogPacketSetFuel(OutGaugePacket *packet, float fuel)
{
    writeFloat(packet, OG_OFF_FUEL, fuel);
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
