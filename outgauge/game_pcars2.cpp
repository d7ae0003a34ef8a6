// Project CARS 2 and Automobilista 2 (UDP protocol version 2): the telemetry packet.
#include "outgauge/games.h"

#include "outgauge/bytes.h"

#include <cstring>

namespace {

constexpr std::size_t PCARS2_OFF_TYPE = 10;
constexpr std::size_t PCARS2_OFF_CAR_FLAGS = 17;
constexpr std::size_t PCARS2_OFF_FUEL = 32;
constexpr std::size_t PCARS2_OFF_RPM = 40;
constexpr std::size_t PCARS2_OFF_MAX_RPM = 42;

constexpr int PCARS2_TELEMETRY = 0;

// The lengths of each packet type. The sources give each revision's sizes, and disagree on
// which belongs to which: every one of them is accepted. The 1452-byte vehicle class names come
// as type 8 or 9, as the sources number them differently. The 24-byte game state (type 4) is the
// one shorter than OutGauge's datagrams: no OutGauge sender sends 24 bytes, and read as OutGauge
// its packet counter would name a car of its own between the game's telemetry packets.
struct Pcars2Size {
    int type;
    std::size_t length;
};
const Pcars2Size PCARS2_SIZES[] = {
    {0, 538},  {0, 555}, {0, 556},  {0, 559},  {1, 308},  {2, 1040}, {2, 1136}, {3, 993}, {3, 1059},
    {3, 1063}, {7, 784}, {7, 1024}, {7, 1040}, {8, 1164}, {8, 1452}, {9, 1452}, {4, 24},
};

// sCarFlags: the bits read, and the light each one is.
struct Pcars2Flag {
    unsigned bit;
    std::uint32_t light;
};
const Pcars2Flag PCARS2_FLAGS[] = {
    {0, OG_DL_FULLBEAM}, // headlight
    {2, OG_DL_OILWARN},  // engine warning
    {3, OG_DL_PITSPEED}, // speed limiter
    {4, OG_DL_ABS},      {5, OG_DL_HANDBRAKE},
};

bool pcars2Known(int type, std::size_t length)
{
    for (const Pcars2Size &s : PCARS2_SIZES) {
        if (s.type == type && s.length == length)
            return true;
    }
    return false;
}

} // namespace

OgVerdict ogPcars2Read(const unsigned char *data, std::size_t length, OgGameValues *out)
{
    if (length <= PCARS2_OFF_TYPE)
        return OG_NOT_MINE;
    const int type = data[PCARS2_OFF_TYPE];
    if (!pcars2Known(type, length))
        return OG_NOT_MINE;
    if (type != PCARS2_TELEMETRY)
        return OG_DROPPED;
    std::strcpy(out->car, "AMS2");
    out->rpm = bytesU16(data, PCARS2_OFF_RPM);
    out->maxRpm = bytesU16(data, PCARS2_OFF_MAX_RPM);
    out->fuel = bytesF32(data, PCARS2_OFF_FUEL);
    const unsigned flags = data[PCARS2_OFF_CAR_FLAGS];
    out->lightsOn = 0;
    for (const Pcars2Flag &f : PCARS2_FLAGS) {
        if ((flags >> f.bit) & 1u)
            out->lightsOn |= f.light;
    }
    out->game = OG_GAME_PCARS2;
    return OG_TAKEN;
}
