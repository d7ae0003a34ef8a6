// ogsend's writers of the games' datagrams, byte by byte at each format's offsets.
#include "tools/ogsend/ogsend.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Every value goes little-endian, at its byte offset in the datagram.
void sendPut8(std::vector<unsigned char> *data, std::size_t at, unsigned value)
{
    (*data)[at] = static_cast<unsigned char>(value);
}

void sendPut16(std::vector<unsigned char> *data, std::size_t at, unsigned value)
{
    for (std::size_t i = 0; i < 2; ++i)
        (*data)[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

void sendPut32(std::vector<unsigned char> *data, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        (*data)[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

void sendPut64(std::vector<unsigned char> *data, std::size_t at, std::uint64_t value)
{
    for (std::size_t i = 0; i < 8; ++i)
        (*data)[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

void sendPutFloat(std::vector<unsigned char> *data, std::size_t at, double value)
{
    const float f = static_cast<float>(value);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    sendPut32(data, at, bits);
}

// An engine speed as a 16-bit whole number, rounded; the command line keeps it in range.
unsigned sendWhole16(double rpm)
{
    return static_cast<unsigned>(std::lround(std::min(std::max(rpm, 0.0), 65535.0)));
}

// A fresh datagram of size zero bytes.
void sendClear(std::vector<unsigned char> *data, std::size_t size)
{
    data->assign(size, 0);
}

// ---- F1 23, 24 and 25 ----

constexpr std::size_t F1_HEADER_SIZE = 29;
constexpr std::size_t F1_CARS = 22;
constexpr std::size_t F1_TELEMETRY_SIZE = 1352, F1_MOTION_SIZE = 1349, F1_STATUS_SIZE = 1239;
constexpr unsigned F1_TELEMETRY_ID = 6, F1_MOTION_ID = 0, F1_STATUS_ID = 7;
constexpr std::size_t F1_TELEMETRY_RECORD = 60, F1_STATUS_RECORD = 55;

// The player's car is not the first, so that a receiver must take the header's index.
constexpr unsigned F1_PLAYER = 19;

// The other cars' engine speed, which a receiver that reads the wrong record shows.
constexpr unsigned F1_OTHER_RPM = 10500;

// The tank's fuel mass when full: fuelInTank is the fraction of it.
constexpr double F1_FUEL_CAPACITY = 110.0;

// A full rev-light bar (bit 0 the leftmost LED to bit 14 the rightmost) for the shift light.
constexpr unsigned F1_REV_LIGHTS_ALL = 0x7FFF;

// An arbitrary session, the same for every packet of a run.
constexpr std::uint64_t F1_SESSION = 0x0123456789ABCDEFull;

void sendF1Header(const SendGame &game, const SendState &state, unsigned id,
                  std::vector<unsigned char> *data)
{
    sendPut16(data, 0, static_cast<unsigned>(game.packetFormat));
    sendPut8(data, 2, static_cast<unsigned>(game.packetFormat % 100)); // gameYear
    sendPut8(data, 3, 1);                                              // gameMajorVersion
    sendPut8(data, 4, 0);                                              // gameMinorVersion
    sendPut8(data, 5, 1);                                              // packetVersion
    sendPut8(data, 6, id);
    sendPut64(data, 7, F1_SESSION);
    sendPutFloat(data, 15, state.seconds);
    sendPut32(data, 19, static_cast<std::uint32_t>(state.frame));
    sendPut32(data, 23, static_cast<std::uint32_t>(state.frame)); // overallFrameIdentifier
    sendPut8(data, 27, F1_PLAYER);
    sendPut8(data, 28, 255); // no second player
}

void sendF1Telemetry(const SendState &state, std::vector<unsigned char> *data)
{
    for (unsigned car = 0; car < F1_CARS; ++car) {
        const std::size_t at = F1_HEADER_SIZE + F1_TELEMETRY_RECORD * car;
        if (car != F1_PLAYER) {
            sendPut16(data, at + 16, F1_OTHER_RPM);
            continue;
        }
        const bool shift = (state.lights & OG_DL_SHIFT) != 0;
        sendPut16(data, at + 16, sendWhole16(state.rpm));
        sendPut8(data, at + 19, shift ? 100 : 0);                // revLightsPercent
        sendPut16(data, at + 20, shift ? F1_REV_LIGHTS_ALL : 0); // revLightsBitValue
    }
    sendPut8(data, 1349, 255); // mfdPanelIndex: closed
    sendPut8(data, 1350, 255); // the second player's
}

// The other cars' fuel stays zero, as the game sends it under its default telemetry setting.
void sendF1Status(const SendState &state, std::vector<unsigned char> *data)
{
    const std::size_t at = F1_HEADER_SIZE + F1_STATUS_RECORD * F1_PLAYER;
    sendPut8(data, at + 4, (state.lights & OG_DL_PITSPEED) != 0 ? 1 : 0);
    sendPutFloat(data, at + 5, static_cast<double>(state.fuel) * F1_FUEL_CAPACITY);
    sendPutFloat(data, at + 9, F1_FUEL_CAPACITY);
    sendPut16(data, at + 17, sendWhole16(state.max));
}

void sendF1Fill(const SendGame &game, const SendState &state, std::size_t part,
                std::vector<unsigned char> *data)
{
    if (part == 0) {
        sendClear(data, F1_TELEMETRY_SIZE);
        sendF1Header(game, state, F1_TELEMETRY_ID, data);
        sendF1Telemetry(state, data);
    } else if (part == 1) {
        sendClear(data, F1_MOTION_SIZE);
        sendF1Header(game, state, F1_MOTION_ID, data);
    } else {
        sendClear(data, F1_STATUS_SIZE);
        sendF1Header(game, state, F1_STATUS_ID, data);
        sendF1Status(state, data);
    }
}

// ---- Forza ----

// The Horizon layout is the Motorsport one with 12 bytes inserted at 232.
constexpr std::size_t FORZA_SLED_SIZE = 232, FORZA_HORIZON_SIZE = 324;
constexpr std::size_t FORZA_HORIZON_SHIFT = 12;

void sendForzaFill(const SendGame &game, const SendState &state, std::vector<unsigned char> *data)
{
    sendClear(data, game.size);
    sendPut32(data, 0, 1); // IsRaceOn
    sendPut32(data, 4, static_cast<std::uint32_t>(std::llround(state.seconds * 1000.0)));
    sendPutFloat(data, 8, state.max);
    sendPutFloat(data, 16, state.rpm);
    sendPut32(data, 212, static_cast<std::uint32_t>(std::strtol(state.car.c_str(), nullptr, 10)));
    if (game.size != FORZA_SLED_SIZE) {
        const std::size_t shift = game.size == FORZA_HORIZON_SIZE ? FORZA_HORIZON_SHIFT : 0;
        sendPutFloat(data, 276 + shift, state.fuel);
    }
}

// ---- DiRT Rally, DiRT Rally 2.0, DiRT 4 ----

// The fuel mass of a full tank: field 45 holds the fraction of it, field 46 the capacity.
constexpr double DIRT_FUEL_CAPACITY = 60.0;

// The format's engine speeds are in radians per second.
constexpr double SEND_PI = 3.14159265358979323846;

void sendDirtFill(const SendGame &game, const SendState &state, std::vector<unsigned char> *data)
{
    sendClear(data, game.size);
    sendPutFloat(data, 4 * 0, state.seconds);
    sendPutFloat(data, 4 * 37, static_cast<double>(state.rpm) * SEND_PI / 30.0);
    sendPutFloat(data, 4 * 45, static_cast<double>(state.fuel) * DIRT_FUEL_CAPACITY);
    sendPutFloat(data, 4 * 46, DIRT_FUEL_CAPACITY);
    sendPutFloat(data, 4 * 63, state.max * SEND_PI / 30.0);
}

// ---- Project CARS 2 and Automobilista 2: the telemetry packet (type 0) ----

// The lights in sCarFlags: OutGauge's bit, then the packet's.
const struct {
    std::uint32_t light;
    unsigned bit;
} AMS2_CAR_FLAGS[] = {
    {OG_DL_FULLBEAM, 1u << 0}, // headlight
    {OG_DL_OILWARN, 1u << 2},  // engine warning
    {OG_DL_PITSPEED, 1u << 3}, // speed limiter
    {OG_DL_ABS, 1u << 4},      {OG_DL_HANDBRAKE, 1u << 5},
};
constexpr unsigned AMS2_ENGINE_ACTIVE = 1u << 1;

void sendAms2Fill(const SendGame &game, const SendState &state, std::vector<unsigned char> *data)
{
    sendClear(data, game.size);
    sendPut32(data, 0, static_cast<std::uint32_t>(state.frame)); // mPacketNumber
    sendPut32(data, 4, static_cast<std::uint32_t>(state.frame)); // mCategoryPacketNumber
    sendPut8(data, 10, 0);                                       // mPacketType: telemetry
    unsigned flags = state.rpm > 0.0f ? AMS2_ENGINE_ACTIVE : 0;
    for (const auto &f : AMS2_CAR_FLAGS) {
        if ((state.lights & f.light) != 0)
            flags |= f.bit;
    }
    sendPut8(data, 17, flags);
    sendPutFloat(data, 32, state.fuel);
    sendPut16(data, 40, sendWhole16(state.rpm));
    sendPut16(data, 42, sendWhole16(state.max));
}

} // namespace

const SendGame *sendFindGame(const std::string &name)
{
    for (const SendGame &g : SEND_GAMES) {
        if (name == g.name)
            return &g;
    }
    return nullptr;
}

std::string sendGameNames()
{
    std::string names;
    for (const SendGame &g : SEND_GAMES)
        names += (names.empty() ? "" : ", ") + std::string(g.name);
    return names;
}

std::size_t sendGameParts(const SendGame &game)
{
    return game.format == SEND_F1 ? 3 : 1;
}

void sendGameFill(const SendGame &game, const SendState &state, std::size_t part,
                  std::vector<unsigned char> *data)
{
    switch (game.format) {
    case SEND_F1:
        sendF1Fill(game, state, part, data);
        break;
    case SEND_FORZA:
        sendForzaFill(game, state, data);
        break;
    case SEND_DIRT:
        sendDirtFill(game, state, data);
        break;
    case SEND_AMS2:
        sendAms2Fill(game, state, data);
        break;
    case SEND_OUTGAUGE:
        break;
    }
}

std::string sendGameWhat(const SendGame &game, long size)
{
    if (game.format == SEND_OUTGAUGE)
        return "datagram(s) of " + std::to_string(size) + " bytes";
    if (game.format == SEND_F1)
        return std::string(game.name) + " frame(s) of three datagrams (" +
               std::to_string(F1_TELEMETRY_SIZE) + ", " + std::to_string(F1_MOTION_SIZE) + " and " +
               std::to_string(F1_STATUS_SIZE) + " bytes)";
    return std::string(game.name) + " datagram(s) of " + std::to_string(game.size) + " bytes";
}

const char *sendGameRateUnit(const SendGame &game)
{
    return game.format == SEND_F1 ? "frames" : "datagrams";
}
