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
    ogPacketSetFlags(&p, 0x8341);
    ogPacketSetRpm(&p, -12.25f);
    ogPacketSetFuel(&p, NAN);
    ogPacketSetId(&p, 56551);
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
    char name[OG_CAR_NAME_SIZE];

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

// A mod car's field: the SkinID little-endian and a NUL, named by six hex digits when its
// name holds a byte outside printable ASCII; every other field as it is.
TEST(Packet, ModCarsAreNamedBySkinId)
{
    const struct {
        unsigned char field[4];
        const char *name;
    } cases[] = {
        {{0xE6, 0x82, 0x58, 0x00}, "5882E6"},
        {{0x01, 0x00, 0x00, 0x00}, "000001"},
        {{0x7F, 0x41, 0x42, 0x00}, "42417F"},
        {{0xE6, 0x00, 0x58, 0x00}, "5800E6"}, // the name ends at its first NUL
        {{'X', 'R', 0x80, 0x00}, "805258"},
        // Printable names, with or without a NUL, stay; so does an unprintable name of four
        // bytes, which no SkinID has.
        {{'b', 'e', 'a', 'm'}, "beam"},
        {{'R', 'o', 'R', 0x00}, "RoR"},
        {{0xE6, 0x82, 0x58, 0x01}, "\xE6\x82X\x01"},
        {{0x00, 0x82, 0x58, 0x00}, ""},
    };
    for (const auto &c : cases) {
        OutGaugePacket p = zeros();
        std::memcpy(p.bytes + 4, c.field, 4);
        char name[OG_CAR_NAME_SIZE];
        ogPacketCarName(p, name);
        EXPECT_STREQ(name, c.name);
    }

    OutGaugePacket p = zeros();
    ogPacketSetCarName(&p, "5882e6");
    const unsigned char skin[4] = {0xE6, 0x82, 0x58, 0x00};
    EXPECT_EQ(0, std::memcmp(p.bytes + 4, skin, 4));
    for (const char *other : {"5882E", "5882E6F", "5882G6", "+882E6"}) {
        EXPECT_FALSE(ogCarNameIsSkinId(other)) << other;
        ogPacketSetCarName(&p, other);
        EXPECT_EQ(0, std::memcmp(p.bytes + 4, other, 4)) << other;
    }
}

// A datagram of any length of one byte or more is taken by its first 96 bytes; the
// lights-available word counts only when the datagram holds all of it.
TEST(Packet, AcceptTakesTheFirst96BytesAndOnlyWholeLightWords)
{
    unsigned char data[200];
    for (std::size_t i = 0; i < sizeof data; ++i)
        data[i] = static_cast<unsigned char>(i + 1);
    OutGaugePacket p = zeros();
    EXPECT_FALSE(ogPacketAccept(&p, data, 0));
    EXPECT_FALSE(ogPacketAccept(&p, data, -1));
    EXPECT_EQ(ogPacketLightsAvailable(p), 0u);

    for (long length : {97L, 109L, 200L, 65507L}) {
        p = zeros();
        ASSERT_TRUE(ogPacketAccept(&p, data, length));
        EXPECT_EQ(0, std::memcmp(p.bytes, data, OG_PACKET_SIZE)) << length;
    }
    ASSERT_TRUE(ogPacketAccept(&p, data, 43));
    EXPECT_EQ(ogPacketLightsAvailable(p), 0u);
    EXPECT_EQ(p.bytes[39], 40);
    ASSERT_TRUE(ogPacketAccept(&p, data, 44));
    EXPECT_EQ(ogPacketLightsAvailable(p), 0x2C2B2A29u);
    EXPECT_EQ(ogPacketLightsOn(p), 0u);
    ASSERT_TRUE(ogPacketAccept(&p, data, 46));
    EXPECT_EQ(ogPacketLightsOn(p), 0x00002E2Du);
}

TEST(Packet, SetCarNamePadsAndCuts)
{
    OutGaugePacket p = zeros();
    std::memset(p.bytes + 4, 0x55, 4);
    ogPacketSetCarName(&p, "UF");
    EXPECT_EQ(0, std::memcmp(p.bytes + 4, "UF\0\0", 4));
    ogPacketSetCarName(&p, "LONGER");
    EXPECT_EQ(0, std::memcmp(p.bytes + 4, "LONG", 4));
    EXPECT_EQ(p.bytes[8], 0);
}
