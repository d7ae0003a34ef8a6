// F1 23 to 25 (packet formats 2023 to 2025): Car Telemetry and Car Status of the player's car.
#include "outgauge/games.h"

#include "outgauge/bytes.h"

#include <limits>

namespace {

constexpr int F1_FIRST_FORMAT = 2019; // the u16 at 0 that F1 claims
constexpr int F1_LAST_FORMAT = 2030;
constexpr int F1_READ_FROM = 2023; // the formats read
constexpr int F1_READ_TO = 2025;
// The longest OutGauge datagram known is 109 bytes; F1's packets are far longer but for Event.
constexpr std::size_t F1_OLD_SAID_ABOVE = 128;

constexpr std::size_t F1_OFF_YEAR = 2;
constexpr std::size_t F1_OFF_PACKET_ID = 6;
constexpr std::size_t F1_OFF_PLAYER = 27;
constexpr std::size_t F1_HEADER = 29;
constexpr unsigned F1_CARS = 22;

constexpr int F1_CAR_TELEMETRY = 6;
constexpr std::size_t F1_TELEMETRY_LENGTH = 1352;
constexpr std::size_t F1_TELEMETRY_RECORD = 60;
constexpr std::size_t F1_TELEMETRY_RPM = 16;
constexpr std::size_t F1_TELEMETRY_REV_LIGHTS = 20;
constexpr unsigned F1_REV_LIGHT_LAST = 14; // the rightmost of the game's 15 rev lights

constexpr int F1_CAR_STATUS = 7;
constexpr std::size_t F1_STATUS_LENGTH = 1239;
constexpr std::size_t F1_STATUS_RECORD = 55;
constexpr std::size_t F1_STATUS_PIT_LIMITER = 4;
constexpr std::size_t F1_STATUS_FUEL = 5;
constexpr std::size_t F1_STATUS_CAPACITY = 9;
constexpr std::size_t F1_STATUS_MAX_RPM = 17;

} // namespace

OgVerdict ogF1Read(const unsigned char *data, std::size_t length, OgF1Packet *out)
{
    // An OutGauge datagram's time field may read like a format: 92 and 96 bytes stay OutGauge's.
    if (length < 2 || length == 92 || length == 96)
        return OG_NOT_MINE;
    const int format = bytesU16(data, 0);
    if (format < F1_FIRST_FORMAT || format > F1_LAST_FORMAT)
        return OG_NOT_MINE;
    out->format = format;
    // An old format is said only of a datagram longer than any OutGauge sender's: a short one
    // may well be OutGauge whose time field reads like a format.
    if (format < F1_READ_FROM)
        return length > F1_OLD_SAID_ABOVE ? OG_DROPPED_OLD_F1 : OG_DROPPED;
    if (format > F1_READ_TO || length <= F1_HEADER)
        return OG_DROPPED;
    // The same lengths serve other packets in other years: only the id and the length together
    // name a packet.
    const int id = data[F1_OFF_PACKET_ID];
    const bool telemetry = id == F1_CAR_TELEMETRY && length == F1_TELEMETRY_LENGTH;
    const bool status = id == F1_CAR_STATUS && length == F1_STATUS_LENGTH;
    const unsigned player = data[F1_OFF_PLAYER];
    if ((!telemetry && !status) || player >= F1_CARS)
        return OG_DROPPED;
    const unsigned year = data[F1_OFF_YEAR] % 100u;
    out->car[0] = 'F';
    out->car[1] = '1';
    out->car[2] = static_cast<char>('0' + year / 10);
    out->car[3] = static_cast<char>('0' + year % 10);
    out->car[4] = '\0';
    out->isStatus = status;
    if (telemetry) {
        const unsigned char *car = data + F1_HEADER + F1_TELEMETRY_RECORD * player;
        out->telemetry.rpm = bytesU16(car, F1_TELEMETRY_RPM);
        out->telemetry.shiftLight =
            (bytesU16(car, F1_TELEMETRY_REV_LIGHTS) >> F1_REV_LIGHT_LAST) & 1u;
        return OG_TAKEN;
    }
    const unsigned char *car = data + F1_HEADER + F1_STATUS_RECORD * player;
    out->status.pitLimiter = car[F1_STATUS_PIT_LIMITER] == 1;
    const float capacity = bytesF32(car, F1_STATUS_CAPACITY);
    out->status.fuel = ogCapacityKnown(capacity) ? bytesF32(car, F1_STATUS_FUEL) / capacity
                                                 : std::numeric_limits<float>::quiet_NaN();
    out->status.maxRpm = bytesU16(car, F1_STATUS_MAX_RPM);
    return OG_TAKEN;
}
