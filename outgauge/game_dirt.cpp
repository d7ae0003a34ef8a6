// The DiRT rally games' "extradata 3" datagram: 66 floats.
#include "outgauge/games.h"

#include "outgauge/bytes.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t DIRT_LENGTH = 264;
constexpr std::size_t DIRT_FIELD_RPM = 37;
constexpr std::size_t DIRT_FIELD_FUEL = 45;
constexpr std::size_t DIRT_FIELD_CAPACITY = 46;
constexpr std::size_t DIRT_FIELD_MAX_RPM = 63;

// The engine fields are radians per second: the games' own car tables hold exactly the
// maximum and idle speeds in rpm times pi/30.
constexpr double DIRT_RPM_PER_RAD_S = 30.0 / 3.14159265358979323846;

float dirtField(const unsigned char *data, std::size_t index)
{
    return bytesF32(data, 4 * index);
}

// A speed beyond a float's range is no engine's: NaN, as any value that is not a number.
float dirtRpm(float radPerSecond)
{
    const double rpm = static_cast<double>(radPerSecond) * DIRT_RPM_PER_RAD_S;
    if (!(std::fabs(rpm) <= std::numeric_limits<float>::max()))
        return std::numeric_limits<float>::quiet_NaN();
    return static_cast<float>(rpm);
}

} // namespace

OgVerdict ogDirtRead(const unsigned char *data, std::size_t length, OgGameValues *out)
{
    if (length != DIRT_LENGTH)
        return OG_NOT_MINE;
    std::strcpy(out->car, "DIRT");
    out->rpm = dirtRpm(dirtField(data, DIRT_FIELD_RPM));
    out->maxRpm = dirtRpm(dirtField(data, DIRT_FIELD_MAX_RPM));
    // A capacity of 0 (or worse) says that the game does not fill these fields.
    const float capacity = dirtField(data, DIRT_FIELD_CAPACITY);
    out->fuel = ogCapacityKnown(capacity) ? dirtField(data, DIRT_FIELD_FUEL) / capacity
                                          : std::numeric_limits<float>::quiet_NaN();
    out->lightsOn = 0;
    out->game = OG_GAME_DIRT;
    return OG_TAKEN;
}
