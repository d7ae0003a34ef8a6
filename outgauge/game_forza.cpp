// Forza's "Data Out": Sled, Dash, the Motorsport (2023) Dash and the Horizon layout.
#include "outgauge/games.h"

#include "outgauge/bytes.h"

#include <limits>

namespace {

constexpr std::size_t FORZA_OFF_RACE_ON = 0;
constexpr std::size_t FORZA_OFF_MAX_RPM = 8;
constexpr std::size_t FORZA_OFF_RPM = 16;
constexpr std::size_t FORZA_OFF_ORDINAL = 212;
// The Horizon layout is the Motorsport one with 12 bytes inserted at 232.
constexpr std::size_t FORZA_OFF_FUEL_DASH = 276;
constexpr std::size_t FORZA_OFF_FUEL_HORIZON = 288;

constexpr std::int32_t FORZA_MAX_ORDINAL = 999999;

// Where a datagram of this length has its fuel: 0 when it has none (Sled), -1 when the length
// is none of Forza's.
long forzaFuelOffset(std::size_t length)
{
    switch (length) {
    case 232:
        return 0;
    case 311:
    case 331:
        return FORZA_OFF_FUEL_DASH;
    case 323:
    case 324:
        return FORZA_OFF_FUEL_HORIZON;
    default:
        return -1;
    }
}

// The ordinal (0 to 999999) in decimal: the car's name.
void forzaCarName(std::int32_t ordinal, char *out)
{
    char digits[OG_CAR_NAME_SIZE];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + ordinal % 10);
        ordinal /= 10;
    } while (ordinal > 0);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = digits[n - 1 - i];
    out[n] = '\0';
}

} // namespace

OgVerdict ogForzaRead(const unsigned char *data, std::size_t length, OgGameValues *out)
{
    const long fuelAt = forzaFuelOffset(length);
    if (fuelAt < 0)
        return OG_NOT_MINE;
    const std::int32_t raceOn = bytesS32(data, FORZA_OFF_RACE_ON);
    const std::int32_t ordinal = bytesS32(data, FORZA_OFF_ORDINAL);
    if ((raceOn != 0 && raceOn != 1) || ordinal < 0 || ordinal > FORZA_MAX_ORDINAL)
        return OG_NOT_MINE;
    // In the menus and after a race the game sends what it last had, or nothing worth reading.
    if (raceOn == 0)
        return OG_DROPPED;
    forzaCarName(ordinal, out->car);
    out->rpm = bytesF32(data, FORZA_OFF_RPM);
    out->maxRpm = bytesF32(data, FORZA_OFF_MAX_RPM);
    out->fuel = fuelAt > 0 ? bytesF32(data, static_cast<std::size_t>(fuelAt))
                           : std::numeric_limits<float>::quiet_NaN();
    out->lightsOn = 0;
    out->game = OG_GAME_FORZA;
    return OG_TAKEN;
}
