// ogsend's three parts (the command line, the scenarios, the sending) and what they share.
#pragma once

#include "rules/config.h"

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

// A named drive, in ogsend_scenarios.cpp.
struct SendScenario;

// The command line as read. Its integers are longs and its other numbers doubles, as the
// option readers of the two kinds store them.
struct SendOptions {
    std::string host = "127.0.0.1";
    long port = CONFIG_DEFAULTS.outGaugePort;
    std::string car;
    bool carGiven = false;
    bool earlier = false;  // --layout earlier: the lights in the flags word
    std::string flagsText; // --flags as given; read once the layout is known
    SendLights lights = {0, 0};
    double rpm = 0.0;
    double fuel = 1.0; // a full tank, so that low-fuel codes stay dark unless asked for
    long id = 0;       // a 32-bit signed number
    long size = static_cast<long>(OG_PACKET_SIZE);
    long count = 1;
    double rate = 100.0;
    SendMode mode = SEND_BURST;
    double seconds = 0.0;                   // 0: until Ctrl+C
    const SendScenario *scenario = nullptr; // the one to play, with mode SEND_SCENARIO
    std::string stateOption; // the first of --flags, --rpm, --fuel, --count given, for messages
    bool countGiven = false;
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

// Appends the steps that opt asks for: its scenario, or its one state held or sent --count
// times. Prints the line that says what will be sent, except for a burst.
void sendPlan(const SendOptions &opt, std::vector<SendStep> *steps);

// ---- Sending: ogsend_send.cpp ----

// Plays the steps to opt's host and port until they end or Ctrl+C, then prints what was sent;
// the exit status: 0 when everything was sent, 1 when sending failed.
int sendRun(const SendOptions &opt, const std::vector<SendStep> &steps);
