// The datagram record: field offsets, byte order, the car name.
#include "outgauge/packet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

OutGaugePacket zeros()
{
    OutGaugePacket p;
    std::memset(&p, 0, sizeof p);
    return p;
}

} // namespace

TEST(Packet, IsExactlyTheLargestDatagram)
{
    EXPECT_EQ(sizeof(OutGaugePacket), 96u);
}

TEST(Packet, FieldsAreLittleEndianAtFixedOffsets)
{
    OutGaugePacket p = zeros();
    p.bytes[8] = 0x01; // shift light
    p.bytes[9] = 0x02; // oil warning (bit 9) lives in the second byte
    const unsigned char rpm[4] = {0x00, 0x40, 0x9C, 0x45}; // 5000.0f
    std::memcpy(p.bytes + 16, rpm, 4);
    const unsigned char fuel[4] = {0x00, 0x00, 0x00, 0x3F}; // 0.5f
    std::memcpy(p.bytes + 28, fuel, 4);
    const unsigned char id[4] = {0xFE, 0xFF, 0xFF, 0xFF}; // -2
    std::memcpy(p.bytes + 92, id, 4);

    EXPECT_EQ(ogPacketFlags(p), 0x0201);
    EXPECT_FLOAT_EQ(ogPacketRpm(p), 5000.0f);
    EXPECT_FLOAT_EQ(ogPacketFuel(p), 0.5f);
    EXPECT_EQ(ogPacketId(p), -2);
}

TEST(Packet, WritersAndReadersAgree)
{
    OutGaugePacket p = zeros();
    ogPacketSetFlags(p, 0x8341);
    ogPacketSetRpm(p, -12.25f);
    ogPacketSetFuel(p, NAN);
    ogPacketSetId(p, 56551);
    EXPECT_EQ(ogPacketFlags(p), 0x8341);
    EXPECT_EQ(p.bytes[8], 0x41);
    EXPECT_EQ(p.bytes[9], 0x83);
    EXPECT_FLOAT_EQ(ogPacketRpm(p), -12.25f);
    EXPECT_TRUE(std::isnan(ogPacketFuel(p)));
    EXPECT_EQ(ogPacketId(p), 56551);
    // Nothing outside the fields was touched.
    for (std::size_t i : {0u, 3u, 10u, 15u, 20u, 27u, 32u, 91u})
        EXPECT_EQ(p.bytes[i], 0) << "byte " << i;
}

TEST(Packet, CarNameEndsAtFirstNulOrAfterFourCharacters)
{
    OutGaugePacket p = zeros();
    char name[5];

    ogPacketCarName(p, name);
    EXPECT_STREQ(name, "");

    std::memcpy(p.bytes + 4, "XRT\0", 4);
    ogPacketCarName(p, name);
    EXPECT_STREQ(name, "XRT");

    // A full name has no NUL inside the record; the flags byte after it is not part of it.
    std::memcpy(p.bytes + 4, "FBMX", 4);
    p.bytes[8] = 'Z';
    ogPacketCarName(p, name);
    EXPECT_STREQ(name, "FBMX");

    // Bytes after an inner NUL are not part of the name.
    std::memcpy(p.bytes + 4, "A\0BC", 4);
    ogPacketCarName(p, name);
    EXPECT_STREQ(name, "A");
}

TEST(Packet, SetCarNamePadsAndCuts)
{
    OutGaugePacket p = zeros();
    std::memset(p.bytes + 4, 0x55, 4);
    ogPacketSetCarName(p, "UF");
    EXPECT_EQ(0, std::memcmp(p.bytes + 4, "UF\0\0", 4));
    ogPacketSetCarName(p, "LONGER");
    EXPECT_EQ(0, std::memcmp(p.bytes + 4, "LONG", 4));
    EXPECT_EQ(p.bytes[8], 0);
}
