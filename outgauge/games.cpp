// Telling the games' datagrams apart on one port, merging F1's two packets, and writing what a
// game gives into the record.
#include "outgauge/games.h"

#include "outgauge/bytes.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool ogIsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Writes a game's values into the record in the current layout, the lights it has as
// available, and the rest beside it.
void ogGameWrite(const OgGameValues &v, OutGaugePacket *packet, OgExtra *extra)
{
    const OgGameInfo &info = OG_GAMES[v.game];
    std::memset(packet->bytes, 0, sizeof packet->bytes);
    const std::size_t len = std::strlen(v.car);
    std::memcpy(packet->bytes + OG_OFF_CAR, v.car, len < 4 ? len : 4);
    ogPacketSetRpm(packet, ogFinite(v.rpm));
    // A negative share of a tank is no fuel level: it must not light the low-fuel codes.
    const float fuel = ogFinite(v.fuel);
    ogPacketSetFuel(packet, fuel >= 0.0f ? fuel : std::numeric_limits<float>::quiet_NaN());
    ogPacketSetLights(packet, info.lights, v.lightsOn & info.lights);
    std::memcpy(extra->car, v.car, sizeof extra->car);
    extra->car[sizeof extra->car - 1] = '\0';
    extra->maxRpm = ogFinite(v.maxRpm);
    extra->ownShiftLight = info.ownShiftLight;
}

// F1's datagram, with the other packet's newest half, as the values of the record.
OgGameValues ogF1Merge(OgGames *games, const OgF1Packet &p)
{
    if (p.isStatus) {
        games->status = p.status;
        games->haveStatus = true;
    } else {
        games->telemetry = p.telemetry;
        games->haveTelemetry = true;
    }
    const float unknown = std::numeric_limits<float>::quiet_NaN();
    OgGameValues v;
    std::memcpy(v.car, p.car, sizeof v.car);
    v.rpm = games->haveTelemetry ? games->telemetry.rpm : unknown;
    v.fuel = games->haveStatus ? games->status.fuel : unknown;
    v.maxRpm = games->haveStatus ? games->status.maxRpm : unknown;
    v.lightsOn = 0;
    if (games->haveTelemetry && games->telemetry.shiftLight)
        v.lightsOn |= OG_DL_SHIFT;
    if (games->haveStatus && games->status.pitLimiter)
        v.lightsOn |= OG_DL_PITSPEED;
    v.game = OG_GAME_F1;
    return v;
}

// The games' rules in their order; OG_TAKEN writes the record. Every rule looks at exact
// lengths of at most 1464 bytes, so a datagram longer than the buffer (whose length Windows
// gives as the buffer's) meets the same rules on both platforms.
OgVerdict ogRecognizeGame(OgGames *games, const unsigned char *data, std::size_t length,
                          OutGaugePacket *packet, OgExtra *extra)
{
    OgGameValues values;
    OgVerdict verdict = ogForzaRead(data, length, &values);
    if (verdict == OG_NOT_MINE)
        verdict = ogDirtRead(data, length, &values);
    if (verdict == OG_NOT_MINE)
        verdict = ogPcars2Read(data, length, &values);
    if (verdict == OG_NOT_MINE) {
        OgF1Packet f1;
        verdict = ogF1Read(data, length, &f1);
        if (verdict == OG_TAKEN)
            values = ogF1Merge(games, f1);
        else if (verdict == OG_DROPPED_OLD_F1)
            games->oldF1Format = f1.format;
    }
    if (verdict == OG_TAKEN)
        ogGameWrite(values, packet, extra);
    return verdict;
}

} // namespace

OgGame ogGameOfCar(const char *name)
{
    const std::size_t len = std::strlen(name);
    if (len == 4 && name[0] == 'F' && name[1] == '1' && ogIsDigit(name[2]) && ogIsDigit(name[3]))
        return OG_GAME_F1;
    if (std::strcmp(name, "DIRT") == 0)
        return OG_GAME_DIRT;
    if (std::strcmp(name, "AMS2") == 0)
        return OG_GAME_PCARS2;
    if (len < 1 || len > 6)
        return OG_GAME_COUNT;
    for (std::size_t i = 0; i < len; ++i) {
        if (!ogIsDigit(name[i]))
            return OG_GAME_COUNT;
    }
    return OG_GAME_FORZA;
}

float ogFinite(float value)
{
    return std::isfinite(value) ? value : std::numeric_limits<float>::quiet_NaN();
}

bool ogCapacityKnown(float capacity)
{
    return capacity > 0.0f && std::isfinite(capacity);
}

OgGames ogGamesInitial()
{
    OgGames games;
    std::memset(&games, 0, sizeof games);
    return games;
}

OgVerdict ogRecognize(OgGames *games, const unsigned char *data, long length,
                      OutGaugePacket *packet, OgExtra *extra)
{
    if (length < 1)
        return OG_DROPPED;
    // No game claims OutGauge's own lengths, 92 and 96: they go straight to OutGauge.
    const OgVerdict verdict =
        length == 92 || length == 96
            ? OG_NOT_MINE
            : ogRecognizeGame(games, data, static_cast<std::size_t>(length), packet, extra);
    if (verdict != OG_NOT_MINE)
        return verdict;
    if (!ogPacketAccept(packet, data, length))
        return OG_DROPPED;
    *extra = OG_EXTRA_OUTGAUGE;
    return OG_TAKEN;
}
