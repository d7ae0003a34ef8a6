// The telemetry of the games that do not send OutGauge, told apart from OutGauge on one port: F1
// (23 to 25), Forza, the DiRT rally games, Project CARS 2 and Automobilista 2.
#pragma once

#include <cstddef>
#include <cstdint>

#include "outgauge/packet.h"

// The largest datagram of them is 1464 bytes (F1 22's Motion; 1460 in the formats read); a
// receive buffer of this size takes each one whole. Longer ones are still told apart: by their
// first bytes and by a length over this size.
constexpr std::size_t OG_RECEIVE_SIZE = 2048;

// The games, in the order a datagram is tried against them (after none of them, OutGauge).
enum OgGame { OG_GAME_FORZA, OG_GAME_DIRT, OG_GAME_PCARS2, OG_GAME_F1, OG_GAME_COUNT };

// How a game sends the fuel level.
enum OgFuel {
    OG_FUEL_SENT,        // in every datagram read
    OG_FUEL_NOT_IN_SLED, // Forza: in the Dash and Horizon formats, not in Sled
    OG_FUEL_UNFILLED,    // in every datagram, but the games are not known to fill it (then 0)
};

// What a game's datagrams carry, for the decoders and for whoever explains a configuration.
struct OgGameInfo {
    OgGame game;
    const char *name;     // as the manual names it
    std::uint32_t lights; // the lights it sends (OG_DL_* bits of the current layout)
    bool ownShiftLight;   // it sends a shift light of its own (else: shiftAt)
    OgFuel fuel;          // how it sends the fuel level
};

inline constexpr OgGameInfo OG_GAMES[OG_GAME_COUNT] = {
    {OG_GAME_FORZA, "Forza", 0, false, OG_FUEL_NOT_IN_SLED},
    {OG_GAME_DIRT, "DiRT", 0, false, OG_FUEL_UNFILLED},
    {OG_GAME_PCARS2, "Project CARS 2 / Automobilista 2",
     OG_DL_FULLBEAM | OG_DL_OILWARN | OG_DL_PITSPEED | OG_DL_ABS | OG_DL_HANDBRAKE, false,
     OG_FUEL_SENT},
    {OG_GAME_F1, "F1", OG_DL_SHIFT | OG_DL_PITSPEED, true, OG_FUEL_SENT},
};

constexpr bool ogGamesInOrder()
{
    for (int i = 0; i < OG_GAME_COUNT; ++i) {
        if (OG_GAMES[i].game != i)
            return false;
    }
    return true;
}
static_assert(ogGamesInOrder(), "OG_GAMES has one row per game, in the order of OgGame");

// The game whose car names look like name: "F1" and two digits (F1), "DIRT", "AMS2", or a
// number of 1 to 6 decimal digits (Forza's car ordinal); OG_GAME_COUNT for any other name,
// which is an OutGauge car's.
OgGame ogGameOfCar(const char *name);

// The verdict on one datagram.
enum OgVerdict {
    OG_NOT_MINE,       // (a decoder's) not this game's datagram: the next rule decides
    OG_TAKEN,          // the record and its extra now hold this datagram
    OG_DROPPED,        // a game's datagram that gives nothing to read (another packet, a menu)
    OG_DROPPED_OLD_F1, // an F1 datagram of a UDP format before 2023
};

// The values one game's datagram gives, before they are written into the record. A value the
// datagram does not carry, or carries as NaN or infinity, is NaN; lights it does not carry are
// off.
struct OgGameValues {
    char car[OG_CAR_NAME_SIZE];
    float rpm;
    float fuel; // fraction of a full tank
    float maxRpm;
    std::uint32_t lightsOn; // OG_DL_* bits
    OgGame game;            // whose datagram: its OG_GAMES row says the rest
};

// F1's two packets that are read each carry half of what the LEDs need; the newest of each is
// kept, so that either one sets the record with the other's values.
struct OgF1Telemetry {
    float rpm;
    bool shiftLight;
};
struct OgF1Status {
    float fuel;
    float maxRpm;
    bool pitLimiter;
};

// What the recognition keeps from one datagram to the next.
struct OgGames {
    bool haveTelemetry, haveStatus;
    OgF1Telemetry telemetry; // the newest Car Telemetry, when haveTelemetry
    OgF1Status status;       // the newest Car Status, when haveStatus
    int oldF1Format;         // the format of the last OG_DROPPED_OLD_F1
};

// Nothing received yet.
OgGames ogGamesInitial();

// Tells one received datagram apart and reads it. data holds the datagram's first
// min(length, OG_RECEIVE_SIZE) bytes; length is its whole length, negative for a failed receive.
// In this order: Forza, DiRT, Project CARS 2 / AMS2, F1 (each by its length and its first
// bytes), and what none of them claims is OutGauge, taken as ogPacketAccept takes it. OG_TAKEN:
// *packet and *extra hold the datagram; otherwise they are left as they were.
OgVerdict ogRecognize(OgGames *games, const unsigned char *data, long length,
                      OutGaugePacket *packet, OgExtra *extra);

// The decoders, one per format (game_*.cpp), each a pure function of one datagram of length
// bytes.

// Forza: 232 (Sled), 311, 331 (Dash), 323, 324 (Horizon) bytes whose IsRaceOn is 0 or 1 and
// whose car ordinal is 0 to 999999; dropped while IsRaceOn is 0.
OgVerdict ogForzaRead(const unsigned char *data, std::size_t length, OgGameValues *out);

// DiRT Rally, DiRT Rally 2.0 and DiRT 4 with extradata 3: 264 bytes.
OgVerdict ogDirtRead(const unsigned char *data, std::size_t length, OgGameValues *out);

// Project CARS 2 and Automobilista 2: a packet type at byte 10 with one of that type's lengths
// (all over 96 bytes but the 24-byte game state); only the telemetry (type 0) is read.
OgVerdict ogPcars2Read(const unsigned char *data, std::size_t length, OgGameValues *out);

// One F1 datagram: which of the two read packets it is, and its half of the values.
struct OgF1Packet {
    int format;                 // the packet format (the game's UDP Format setting)
    char car[OG_CAR_NAME_SIZE]; // "F1" and the game's year
    bool isStatus;              // Car Status; otherwise Car Telemetry
    OgF1Telemetry telemetry;
    OgF1Status status;
};

// F1: a u16 of 2019 to 2030 at 0 and a length other than 92 and 96. Only Car Telemetry and Car
// Status of formats 2023 to 2025, each at its exact length, with the player's index in range,
// are taken; the rest is dropped (a datagram of a format before 2023 that is longer than 128
// bytes as OG_DROPPED_OLD_F1).
OgVerdict ogF1Read(const unsigned char *data, std::size_t length, OgF1Packet *out);

// The value a game sends, or NaN when it is NaN or infinite.
float ogFinite(float value);

// Whether a tank's capacity can divide the fuel in it into a share: finite and above 0. A game
// that does not fill its fuel fields leaves them 0.
bool ogCapacityKnown(float capacity);
