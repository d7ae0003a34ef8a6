// Little-endian field access on the raw OutGauge record.
#include "outgauge/packet.h"

#include <cstring>

namespace {

std::uint32_t readU32(const OutGaugePacket &packet, std::size_t off)
{
    const unsigned char *b = packet.bytes + off;
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void writeU32(OutGaugePacket &packet, std::size_t off, std::uint32_t v)
{
    unsigned char *b = packet.bytes + off;
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

void writeFloat(OutGaugePacket &packet, std::size_t off, float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    writeU32(packet, off, bits);
}

} // namespace

bool ogPacketAccept(OutGaugePacket &packet, const void *data, long length)
{
    if (length < 1 || length > static_cast<long>(OG_PACKET_SIZE))
        return false;
    // The record becomes exactly this datagram: bytes past a short one are zeroed rather
    // than left over from an older datagram.
    const std::size_t len = static_cast<std::size_t>(length);
    std::memcpy(packet.bytes, data, len);
    std::memset(packet.bytes + len, 0, OG_PACKET_SIZE - len);
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

std::int32_t ogPacketId(const OutGaugePacket &packet)
{
    std::uint32_t bits = readU32(packet, OG_OFF_ID);
    std::int32_t id;
    std::memcpy(&id, &bits, sizeof id);
    return id;
}

void ogPacketCarName(const OutGaugePacket &packet, char out[5])
{
    std::size_t n = 0;
    while (n < 4 && packet.bytes[OG_OFF_CAR + n] != 0) {
        out[n] = static_cast<char>(packet.bytes[OG_OFF_CAR + n]);
        ++n;
    }
    while (n < 5)
        out[n++] = '\0';
}

void ogPacketSetCarName(OutGaugePacket &packet, const char *name)
{
    std::size_t len = name ? std::strlen(name) : 0;
    for (std::size_t i = 0; i < 4; ++i)
        packet.bytes[OG_OFF_CAR + i] = i < len ? static_cast<unsigned char>(name[i]) : 0;
}

void ogPacketSetFlags(OutGaugePacket &packet, std::uint16_t flags)
{
    packet.bytes[OG_OFF_FLAGS] = static_cast<unsigned char>(flags & 0xFF);
    packet.bytes[OG_OFF_FLAGS + 1] = static_cast<unsigned char>(flags >> 8);
}

void ogPacketSetRpm(OutGaugePacket &packet, float rpm)
{
    writeFloat(packet, OG_OFF_RPM, rpm);
}

void ogPacketSetFuel(OutGaugePacket &packet, float fuel)
{
    writeFloat(packet, OG_OFF_FUEL, fuel);
}

void ogPacketSetId(OutGaugePacket &packet, std::int32_t id)
{
    std::uint32_t bits;
    std::memcpy(&bits, &id, sizeof bits);
    writeU32(packet, OG_OFF_ID, bits);
}
