// ogsend's parts (the command line, the scenarios, the games' writers, the sending) and what
// they share.
#pragma once

#include "rules/config.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the command line asks for.
enum SendMode { SEND_BURST, SEND_HOLD, SEND_SCENARIO };

// The dashboard lights of one state, in the word of each layout.
struct SendLights {
    std::uint32_t current; // the lights-on word at offset 44
    std::uint16_t earlier; // the flags word at offset 8
};

// The names of the lights for --flags, one row for each code: for a code that shows one light
// without flashing, the light's name and another name for it or NULL; for any other code, NULL.
struct SendLightName {
    LedAction code;
    const char *name;
    const char *alias;
};

inline constexpr SendLightName SEND_LIGHT_NAMES[] = {
    {Off, nullptr, nullptr},
    {ShiftLight, "shift", nullptr},
    {Handbrake, "handbrake", nullptr},
    {SpeedLimit, "pitspeed", "limiter"},
    {SpeedLimitFlash, nullptr, nullptr},
    {SignalLeft, "signal_l", "left"},
    {SignalRight, "signal_r", "right"},
    {Redline, "redline", nullptr},
    {OilWarning, "oilwarn", nullptr},
    {FullBeam, "fullbeam", nullptr},
    {LowFuel, nullptr, nullptr},
    {TractionControl, "tc", nullptr},
    {ShiftLightFlash, nullptr, nullptr},
    {LowFuelFlash, nullptr, nullptr},
    {AlwaysOn, nullptr, nullptr},
    {Abs, "abs", nullptr},
    {BatteryWarning, "battery", nullptr},
};
static_assert(ledRowsMatchActions(SEND_LIGHT_NAMES),
              "SEND_LIGHT_NAMES has one row for each code of LED_ACTIONS, in order");

// The formats that ogsend sends: OutGauge and the games' own.
enum SendFormat { SEND_OUTGAUGE, SEND_F1, SEND_FORZA, SEND_DIRT, SEND_AMS2 };

// The options that not every format carries, as bits of SendGame::takes.
enum : unsigned {
    SEND_TAKES_CAR = 1u << 0,
    SEND_TAKES_FLAGS = 1u << 1,
    SEND_TAKES_FUEL = 1u << 2,
    SEND_TAKES_MAX = 1u << 3,
    SEND_TAKES_SIZE = 1u << 4,
    SEND_TAKES_ID = 1u << 5,
    SEND_TAKES_LAYOUT = 1u << 6,
};

// A format that --game names. The writers of the games' datagrams are in ogsend_games.cpp.
struct SendGame {
    const char *name;
    SendFormat format;
    unsigned takes;       // the SEND_TAKES_* options it carries
    std::uint32_t lights; // the lights it has, as bits of OutGauge's lights-on word
    int packetFormat;     // F1: the packet format (and the game's year); 0 otherwise
    std::size_t size;     // the length of its datagram; F1: 0, as it sends three of their own
    bool wholeRpm;        // it sends engine speeds as 16-bit whole numbers
    const char *car;      // the car a scenario drives unless --car says otherwise (Forza: one
                          // state too); NULL: the format sends no car names
    const char *otherCar; // the car that a scenario's car change switches to, or car when the
                          // car driven is this one
};

// The Forza formats' car ordinals, for --car.
constexpr long SEND_MAX_ORDINAL = 999999;

// The formats for --game; the first, OutGauge, is the default.
inline constexpr SendGame SEND_GAMES[] = {
    {"outgauge", SEND_OUTGAUGE,
     SEND_TAKES_CAR | SEND_TAKES_FLAGS | SEND_TAKES_FUEL | SEND_TAKES_SIZE | SEND_TAKES_ID |
         SEND_TAKES_LAYOUT,
     OG_DL_SHARED, 0, 0, false, "XRT", "FZR"},
    {"f1-23", SEND_F1, SEND_TAKES_FLAGS | SEND_TAKES_FUEL | SEND_TAKES_MAX,
     OG_DL_SHIFT | OG_DL_PITSPEED, 2023, 0, true, nullptr, nullptr},
    {"f1-24", SEND_F1, SEND_TAKES_FLAGS | SEND_TAKES_FUEL | SEND_TAKES_MAX,
     OG_DL_SHIFT | OG_DL_PITSPEED, 2024, 0, true, nullptr, nullptr},
    {"f1-25", SEND_F1, SEND_TAKES_FLAGS | SEND_TAKES_FUEL | SEND_TAKES_MAX,
     OG_DL_SHIFT | OG_DL_PITSPEED, 2025, 0, true, nullptr, nullptr},
    {"forza-sled", SEND_FORZA, SEND_TAKES_CAR | SEND_TAKES_MAX, 0, 0, 232, false, "1000", "2000"},
    {"forza-dash", SEND_FORZA, SEND_TAKES_CAR | SEND_TAKES_FUEL | SEND_TAKES_MAX, 0, 0, 311, false,
     "1000", "2000"},
    {"forza-motorsport", SEND_FORZA, SEND_TAKES_CAR | SEND_TAKES_FUEL | SEND_TAKES_MAX, 0, 0, 331,
     false, "1000", "2000"},
    {"forza-horizon", SEND_FORZA, SEND_TAKES_CAR | SEND_TAKES_FUEL | SEND_TAKES_MAX, 0, 0, 324,
     false, "1000", "2000"},
    {"dirt", SEND_DIRT, SEND_TAKES_FUEL | SEND_TAKES_MAX, 0, 0, 264, false, nullptr, nullptr},
    {"ams2", SEND_AMS2, SEND_TAKES_FLAGS | SEND_TAKES_FUEL | SEND_TAKES_MAX,
     OG_DL_FULLBEAM | OG_DL_HANDBRAKE | OG_DL_PITSPEED | OG_DL_OILWARN | OG_DL_ABS, 0, 556, true,
     nullptr, nullptr},
};

// A named drive, in ogsend_scenarios.cpp.
struct SendScenario;

// The command line as read. Its integers are longs and its other numbers doubles, as the
// option readers of the two kinds store them.
struct SendOptions {
    const SendGame *game = &SEND_GAMES[0];
    std::string host = "127.0.0.1";
    long port = CONFIG_DEFAULTS.outGaugePort;
    std::string car;
    bool carGiven = false;
    bool earlier = false;  // --layout earlier: the lights in the flags word
    std::string flagsText; // --flags as given; read once the layout is known
    SendLights lights = {0, 0};
    double rpm = 0.0;
    double fuel = 1.0;   // a full tank, so that low-fuel codes stay dark unless asked for
    double max = 8000.0; // the maximum engine speed that a game sends
    long id = 0;         // a 32-bit signed number
    long size = static_cast<long>(OG_PACKET_SIZE);
    long count = 1;
    double rate = 100.0;
    SendMode mode = SEND_BURST;
    double seconds = 0.0;                   // 0: until Ctrl+C
    const SendScenario *scenario = nullptr; // the one to play, with mode SEND_SCENARIO
    std::string stateOption; // the first of --flags, --rpm, --fuel, --count given, for messages
    bool countGiven = false;
    std::vector<std::string> given; // the options given, in order, for the format's refusals
};

// One step of a drive: a dashboard state held (or ramped) for a while, or silence.
struct SendStep {
    std::string what; // printed when the step begins
    std::string car;
    SendLights lights;
    float rpmFrom, rpmTo;   // linear from the first datagram of the step to its last
    float fuelFrom, fuelTo; // likewise
    long ms;                // how long the step lasts
    long count;             // datagrams to send; 0: as many as ms at the rate gives
    bool silent;            // send nothing for ms
};

// ---- The command line: ogsend_args.cpp ----

// What main is to do once the command line is read.
enum SendParse {
    SEND_PARSE_GO,    // send as the options say
    SEND_PARSE_HELP,  // print the usage text and end with 0
    SEND_PARSE_LIST,  // list the scenarios and end with 0
    SEND_PARSE_ERROR, // print the message as a usage error and end with 2
};

// Reads the command line into *opt and says what main is to do; *message goes with
// SEND_PARSE_ERROR. Reading stops at --help, --list or the first bad argument, whatever follows.
SendParse sendParseArgs(int argc, char **argv, SendOptions *opt, std::string *message);

// Prints the usage text.
void sendPrintUsage();

// Prints the message as a usage error, with where to find the usage text.
void sendUsageError(const std::string &message);

// ---- The scenarios: ogsend_scenarios.cpp ----

// The scenario of that name, or NULL when there is none.
const SendScenario *sendFindScenario(const std::string &name);

// Prints each scenario's name and what it does, one a line.
void sendListScenarios();

// The scenario's name, and whether it shows nothing but car changes, which a format without
// car names cannot show.
const char *sendScenarioName(const SendScenario &scenario);
bool sendScenarioChangesCar(const SendScenario &scenario);

// Appends the steps that opt asks for: its scenario, or its one state held or sent --count
// times. Prints the line that says what will be sent, except for a burst.
void sendPlan(const SendOptions &opt, std::vector<SendStep> *steps);

// ---- The games' datagrams: ogsend_games.cpp ----

// What the writers take of one state.
struct SendState {
    std::string car;      // Forza: the car ordinal in decimal
    std::uint32_t lights; // as bits of OutGauge's lights-on word
    float rpm, fuel;
    double max;
    long long frame; // the number of the state's slot, from 0
    double seconds;  // the slot's time from the first
};

// The game of that name, or NULL when there is none.
const SendGame *sendFindGame(const std::string &name);

// The names of the games, comma-separated, for messages.
std::string sendGameNames();

// The number of datagrams of one state: three for F1 (Car Telemetry, Motion, Car Status),
// else one.
std::size_t sendGameParts(const SendGame &game);

// Writes datagram part (below sendGameParts) of the state in the game's format into *data,
// sized to its length.
void sendGameFill(const SendGame &game, const SendState &state, std::size_t part,
                  std::vector<unsigned char> *data);

// What one state is sent as, for messages: "datagram(s) of 96 bytes" (OutGauge, of size
// bytes), "forza-dash datagram(s) of 311 bytes", "f1-24 frame(s) of three datagrams (...)".
std::string sendGameWhat(const SendGame &game, long size);

// The unit of the rate: "datagrams", or "frames" for F1.
const char *sendGameRateUnit(const SendGame &game);

// ---- Sending: ogsend_send.cpp ----

// Plays the steps to opt's host and port until they end or Ctrl+C, then prints what was sent;
// the exit status: 0 when everything was sent, 1 when sending failed.
int sendRun(const SendOptions &opt, const std::vector<SendStep> &steps);
