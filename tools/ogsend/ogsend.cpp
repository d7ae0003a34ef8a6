// ogsend: sends OutGauge datagrams over UDP, to try a configuration without the simulator.
#include "app/config.h"
#include "outgauge/packet.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tools/ogsend/ogsend_net.h"

namespace {

// Largest UDP payload over IPv4.
constexpr long SEND_MAX_SIZE = 65507;

// The car a scenario drives when --car is not given.
const char SEND_SCENARIO_CAR[] = "XRT";

// What the command line asks for.
enum SendMode { SEND_BURST, SEND_HOLD, SEND_SCENARIO };

// The dashboard lights of one state, in the word of each layout.
struct SendLights {
    std::uint32_t current; // the lights-on word at offset 44
    std::uint16_t earlier; // the flags word at offset 8
};

struct SendScenario;

struct SendOptions {
    std::string host = "127.0.0.1";
    long port = CONFIG_DEFAULTS.outGaugePort;
    std::string car;
    bool carGiven = false;
    bool earlier = false;  // --layout earlier: the lights in the flags word
    std::string flagsText; // --flags as given; read once the layout is known
    SendLights lights = {0, 0};
    float rpm = 0.0f;
    float fuel = 1.0f; // a full tank, so that low-fuel codes stay dark unless asked for
    std::int32_t id = 0;
    long size = static_cast<long>(OG_PACKET_SIZE);
    long count = 1;
    double rate = 0.0; // 0: not given
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

// The state between the eventful moments of a scenario.
constexpr float SEND_CRUISE_RPM = 3000.0f;
constexpr float SEND_CRUISE_FUEL = 0.6f;

// Set by Ctrl+C (or a termination request): the sending loop ends after the datagram in hand.
volatile std::sig_atomic_t g_stop = 0;

// A format: the default port comes from the program's defaults.
const char g_usage[] =
    "usage: ogsend [options]                 send one state (--count times)\n"
    "       ogsend --hold [options]          send one state until Ctrl+C (or --seconds)\n"
    "       ogsend --scenario NAME [options] play a short drive (see --list)\n"
    "       ogsend --list                    list the scenarios\n"
    "Sends OutGauge datagrams over UDP, as the simulator does, to try a configuration.\n"
    "Where the datagrams go:\n"
    "  --host H      receiver's IPv4 address or name (default 127.0.0.1)\n"
    "  --port N      UDP port, 1 to 65535 (default %ld)\n"
    "  --rate HZ     datagrams per second (default 100)\n"
    "  --size N      datagram length in bytes, 0 to 65507 (default 96); past the\n"
    "                96-byte record come the four fields that one sender adds (to\n"
    "                109 bytes), then zeros\n"
    "  --id N        trailing identifier at offset 92 (default 0)\n"
    "  --layout L    current (default): the lights in the words at offsets 40 and 44\n"
    "                and the units in the flags word, as today's simulators send\n"
    "                them; earlier: the lights in the flags word\n"
    "The state (for one state and --hold):\n"
    "  --car NAME    car code, at most 4 characters, or a mod car's SkinID as 6 hex\n"
    "                digits (default empty; a scenario drives XRT unless --car is\n"
    "                given)\n"
    "  --flags LIST  the lights on, comma-separated names or numbers (the bits of\n"
    "                the layout's word, e.g. 0x0008): shift, fullbeam, handbrake,\n"
    "                pitspeed (limiter), tc, signal_l (left), signal_r (right),\n"
    "                oilwarn, abs, battery; redline in the earlier layout only\n"
    "  --rpm F       engine speed (default 0)\n"
    "  --fuel F      fuel left as a fraction, 0 to 1 (default 1, a full tank)\n"
    "How long:\n"
    "  --count N     number of datagrams (default 1)\n"
    "  --hold        send the state at --rate until Ctrl+C\n"
    "  --seconds S   stop holding after S seconds (implies --hold)\n"
    "  --scenario NAME  play the named scenario; prints each step as it begins\n"
    "  --list        list the scenarios with what they do\n"
    "  --help        this text\n"
    "Exit status: 0 when everything was sent, 1 when sending failed, 2 for bad arguments.\n";

// Prints the message as a usage error, with where to find the usage text.
void sendUsageError(const std::string &message)
{
    std::fprintf(stderr, "ogsend: %s\nTry 'ogsend --help'.\n", message.c_str());
}

// Parses a whole string as an integer (decimal, 0x hex) within [lo, hi].
bool sendParseLong(const char *text, long lo, long hi, long *out)
{
    if (*text == '\0')
        return false;
    errno = 0;
    char *end = nullptr;
    long v = std::strtol(text, &end, 0);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// Parses a whole string as a finite number within [lo, hi].
bool sendParseDouble(const char *text, double lo, double hi, double *out)
{
    if (*text == '\0')
        return false;
    errno = 0;
    char *end = nullptr;
    double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// The row of one light name, or NULL when the name is unknown: the names of the LED codes
// that show one light.
const LedActionInfo *sendLightByName(const std::string &name)
{
    for (const LedActionInfo &a : LED_ACTIONS) {
        if (a.flagName != nullptr && (name == a.flagName || (a.flagAlias && name == a.flagAlias)))
            return &a;
    }
    return nullptr;
}

// The lights of a state in both layouts, from its lights in the current one.
SendLights sendLights(std::uint32_t current)
{
    SendLights lights = {current, 0};
    for (const LedActionInfo &a : LED_ACTIONS) {
        if (a.flagName != nullptr && (current & ledOwnLight(a)) != 0)
            lights.earlier = static_cast<std::uint16_t>(lights.earlier | a.flag);
    }
    return lights;
}

// Parses a comma-separated list of light names and numbers into the word of the layout;
// *bad is the first item that is neither (or a light the layout does not have).
bool sendParseFlags(const std::string &list, bool earlier, SendLights *out, std::string *bad)
{
    SendLights lights = {0, 0};
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? comma : comma - start);
        *bad = item;
        long number = 0;
        const LedActionInfo *named = sendLightByName(item);
        if (named != nullptr && (earlier ? named->flag != 0 : named->light != 0)) {
            lights.current |= ledOwnLight(*named);
            lights.earlier = static_cast<std::uint16_t>(lights.earlier | named->flag);
        } else if (named == nullptr &&
                   sendParseLong(item.c_str(), 0, earlier ? 0xFFFF : 0x7FFFFFFF, &number)) {
            lights.current |= static_cast<std::uint32_t>(number);
            lights.earlier = static_cast<std::uint16_t>(lights.earlier | number);
        } else {
            return false;
        }
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    *out = lights;
    return true;
}

// ---- Scenarios ----

// A step holding one state for ms.
SendStep sendStep(const std::string &what, const std::string &car, std::uint32_t lights, float rpm,
                  float fuel, long ms)
{
    return SendStep{what, car, sendLights(lights), rpm, rpm, fuel, fuel, ms, 0, false};
}

void sendScenarioRpmSweep(const std::string &car, std::vector<SendStep> *steps)
{
    SendStep up = sendStep("rpm 1000 -> 8000", car, 0, 1000.0f, SEND_CRUISE_FUEL, 3000);
    up.rpmTo = 8000.0f;
    SendStep down = sendStep("rpm 8000 -> 1000", car, 0, 8000.0f, SEND_CRUISE_FUEL, 3000);
    down.rpmTo = 1000.0f;
    steps->push_back(up);
    steps->push_back(down);
}

void sendScenarioShift(const std::string &car, std::vector<SendStep> *steps)
{
    for (int i = 0; i < 3; ++i) {
        steps->push_back(
            sendStep("shift light on", car, OG_DL_SHIFT, 7500.0f, SEND_CRUISE_FUEL, 600));
        steps->push_back(sendStep("shift light off", car, 0, 5000.0f, SEND_CRUISE_FUEL, 600));
    }
}

void sendScenarioLimiter(const std::string &car, std::vector<SendStep> *steps)
{
    steps->push_back(sendStep("limiter on", car, OG_DL_PITSPEED, 4000.0f, SEND_CRUISE_FUEL, 2000));
    steps->push_back(sendStep("limiter off", car, 0, SEND_CRUISE_RPM, SEND_CRUISE_FUEL, 1000));
}

void sendScenarioSignals(const std::string &car, std::vector<SendStep> *steps)
{
    const float rpm = SEND_CRUISE_RPM, fuel = SEND_CRUISE_FUEL;
    steps->push_back(sendStep("left signal", car, OG_DL_SIGNAL_L, rpm, fuel, 1500));
    steps->push_back(sendStep("right signal", car, OG_DL_SIGNAL_R, rpm, fuel, 1500));
    steps->push_back(sendStep("hazard lights (both signals)", car, OG_DL_SIGNAL_L | OG_DL_SIGNAL_R,
                              rpm, fuel, 1500));
    steps->push_back(sendStep("signals off", car, 0, rpm, fuel, 500));
}

void sendScenarioLowFuel(const std::string &car, std::vector<SendStep> *steps)
{
    SendStep drain = sendStep("fuel draining 0.10 -> 0.02 (below 0.05 halfway)", car, 0,
                              SEND_CRUISE_RPM, 0.10f, 4000);
    drain.fuelTo = 0.02f;
    steps->push_back(drain);
    steps->push_back(sendStep("fuel 0.02 (low)", car, 0, SEND_CRUISE_RPM, 0.02f, 1500));
    steps->push_back(sendStep("refuelled (fuel 0.60)", car, 0, SEND_CRUISE_RPM, 0.60f, 1000));
}

void sendScenarioCarChange(const std::string &car, std::vector<SendStep> *steps)
{
    std::string other = car == "FZR" ? "XRT" : "FZR";
    for (int i = 0; i < 2; ++i) {
        steps->push_back(
            sendStep("car " + other, other, 0, SEND_CRUISE_RPM, SEND_CRUISE_FUEL, 1000));
        steps->push_back(sendStep("car " + car, car, 0, SEND_CRUISE_RPM, SEND_CRUISE_FUEL, 1000));
    }
}

void sendScenarioDrive(const std::string &car, std::vector<SendStep> *steps);

// A named drive and the routine that appends its steps for a car.
struct SendScenario {
    const char *name;
    const char *description;
    void (*build)(const std::string &car, std::vector<SendStep> *steps);
};

const SendScenario g_scenarios[] = {
    {"rpm-sweep", "engine speed 1000 -> 8000 -> 1000 rpm over 6 s", sendScenarioRpmSweep},
    {"shift", "shift light on and off, three times", sendScenarioShift},
    {"limiter", "pit speed limiter on for 2 s, then off", sendScenarioLimiter},
    {"signals", "left signal, right signal, hazard lights, then off", sendScenarioSignals},
    {"low-fuel", "fuel draining from 0.10 to 0.02, then refuelled", sendScenarioLowFuel},
    {"car-change", "switch between the car and FZR (XRT when the car is FZR)",
     sendScenarioCarChange},
    {"drive", "all the above, 1 s of shift light and limiter, then 3 s of silence",
     sendScenarioDrive},
};

void sendScenarioDrive(const std::string &car, std::vector<SendStep> *steps)
{
    for (const auto &s : g_scenarios) {
        if (s.build != sendScenarioDrive)
            s.build(car, steps);
    }
    // Ends lit, so that the silence visibly switches the LEDs off: the car-change scenario
    // before it leaves both dark in the example configuration.
    steps->push_back(sendStep("shift light and limiter on, 7500 rpm", car,
                              OG_DL_SHIFT | OG_DL_PITSPEED, 7500.0f, SEND_CRUISE_FUEL, 1000));
    SendStep quiet =
        sendStep("silence for 3 s (the LEDs switch off after 2 s)", car, 0, 0.0f, 0.0f, 3000);
    quiet.silent = true;
    steps->push_back(quiet);
}

// The scenario of that name, or NULL when there is none.
const SendScenario *sendFindScenario(const std::string &name)
{
    for (const SendScenario &s : g_scenarios) {
        if (name == s.name)
            return &s;
    }
    return nullptr;
}

void sendListScenarios()
{
    for (const auto &s : g_scenarios)
        std::printf("%-11s %s\n", s.name, s.description);
}

// ---- Command line ----

// What main is to do once the command line is read.
enum SendParse {
    SEND_PARSE_GO,    // send as the options say
    SEND_PARSE_HELP,  // print the usage text and end with 0
    SEND_PARSE_LIST,  // list the scenarios and end with 0
    SEND_PARSE_ERROR, // print the message as a usage error and end with 2
};

// Sets *message to text and gives false, for a reader to return.
bool sendRefuse(std::string *message, const std::string &text)
{
    *message = text;
    return false;
}

// Splits "--name=value" into its name and value; true when the argument carried the value.
bool sendSplitArg(const std::string &arg, std::string *name, std::string *value)
{
    std::size_t eq = arg.find('=');
    *name = arg;
    if (arg.compare(0, 2, "--") != 0 || eq == std::string::npos)
        return false;
    *name = arg.substr(0, eq);
    *value = arg.substr(eq + 1);
    return true;
}

// Reads --hold; false with *message when it carries a value or comes after --scenario.
bool sendReadHold(bool inlineValue, SendOptions *opt, std::string *message)
{
    if (inlineValue)
        return sendRefuse(message, "option '--hold' takes no value");
    if (opt->mode == SEND_SCENARIO)
        return sendRefuse(message, "--hold cannot be used with --scenario");
    opt->mode = SEND_HOLD;
    return true;
}

// Reads the value of --host, --port, --rate, --size, --id or --layout; false with *message
// when the value is bad.
bool sendReadWhere(const std::string &name, const std::string &value, SendOptions *opt,
                   std::string *message)
{
    const char *v = value.c_str();
    long n = 0;
    double d = 0.0;
    if (name == "--host") {
        if (value.empty())
            return sendRefuse(message, "empty host");
        opt->host = value;
    } else if (name == "--port") {
        if (!sendParseLong(v, 1, 65535, &n))
            return sendRefuse(message, "bad port '" + value + "' (1 to 65535)");
        opt->port = n;
    } else if (name == "--rate") {
        if (!sendParseDouble(v, 0.001, 1e6, &d))
            return sendRefuse(message, "bad rate '" + value + "' (datagrams per second, above 0)");
        opt->rate = d;
    } else if (name == "--size") {
        if (!sendParseLong(v, 0, SEND_MAX_SIZE, &n))
            return sendRefuse(message, "bad size '" + value + "' (0 to 65507)");
        opt->size = n;
    } else if (name == "--id") {
        if (!sendParseLong(v, INT32_MIN, INT32_MAX, &n))
            return sendRefuse(message, "bad identifier '" + value + "' (a 32-bit signed number)");
        opt->id = static_cast<std::int32_t>(n);
    } else if (name == "--layout") {
        if (value != "current" && value != "earlier")
            return sendRefuse(message, "bad layout '" + value + "' (current or earlier)");
        opt->earlier = value == "earlier";
    }
    return true;
}

// Reads the value of --car, --flags, --rpm or --fuel; false with *message when the value is
// bad. The flags wait for the layout, which may come later.
bool sendReadState(const std::string &name, const std::string &value, SendOptions *opt,
                   std::string *message)
{
    const char *v = value.c_str();
    double d = 0.0;
    if (name == "--car") {
        if (!ogCarNameFits(v))
            return sendRefuse(message, "car name '" + value +
                                           "' is longer than 4 characters (and no mod car's "
                                           "SkinID of 6 hex digits)");
        opt->car = value;
        opt->carGiven = true;
    } else if (name == "--flags") {
        opt->flagsText = value;
    } else if (name == "--rpm") {
        if (!sendParseDouble(v, -1e9, 1e9, &d))
            return sendRefuse(message, "bad engine speed '" + value + "'");
        opt->rpm = static_cast<float>(d);
    } else if (name == "--fuel") {
        if (!sendParseDouble(v, 0.0, 1.0, &d))
            return sendRefuse(message, "bad fuel '" + value + "' (0 to 1)");
        opt->fuel = static_cast<float>(d);
    }
    return true;
}

// Reads the value of --count, --seconds or --scenario; false with *message when the value is
// bad or the mode it asks for clashes with one asked for before.
bool sendReadHowLong(const std::string &name, const std::string &value, SendOptions *opt,
                     std::string *message)
{
    const char *v = value.c_str();
    long n = 0;
    double d = 0.0;
    if (name == "--count") {
        if (!sendParseLong(v, 1, 1000000000L, &n))
            return sendRefuse(message, "bad count '" + value + "' (1 or more)");
        opt->count = n;
        opt->countGiven = true;
    } else if (name == "--seconds") {
        if (!sendParseDouble(v, 0.001, 1e7, &d))
            return sendRefuse(message, "bad duration '" + value + "' (seconds, above 0)");
        if (opt->mode == SEND_SCENARIO)
            return sendRefuse(message, "--seconds cannot be used with --scenario");
        opt->seconds = d;
        opt->mode = SEND_HOLD;
    } else if (name == "--scenario") {
        opt->scenario = sendFindScenario(value);
        if (opt->scenario == nullptr)
            return sendRefuse(message, "unknown scenario '" + value + "' (see 'ogsend --list')");
        if (opt->mode == SEND_HOLD)
            return sendRefuse(message, "--scenario cannot be used with --hold or --seconds");
        opt->mode = SEND_SCENARIO;
    }
    return true;
}

// An option that takes a value, and the reader of its part of the usage text.
struct SendValued {
    const char *name;
    bool (*read)(const std::string &name, const std::string &value, SendOptions *opt,
                 std::string *message);
    bool scenarioSets; // a scenario sets this part of the state itself
};

const SendValued g_valued[] = {
    {"--host", sendReadWhere, false},      {"--port", sendReadWhere, false},
    {"--car", sendReadState, false},       {"--flags", sendReadState, true},
    {"--rpm", sendReadState, true},        {"--fuel", sendReadState, true},
    {"--id", sendReadWhere, false},        {"--size", sendReadWhere, false},
    {"--count", sendReadHowLong, true},    {"--rate", sendReadWhere, false},
    {"--seconds", sendReadHowLong, false}, {"--scenario", sendReadHowLong, false},
    {"--layout", sendReadWhere, false},
};

// The option of that name that takes a value, or NULL when there is none.
const SendValued *sendFindValued(const std::string &name)
{
    for (const SendValued &o : g_valued) {
        if (name == o.name)
            return &o;
    }
    return nullptr;
}

// Checks the options that exclude each other whatever their order; false with *message.
bool sendCheckTogether(const SendOptions &opt, std::string *message)
{
    if (opt.mode == SEND_SCENARIO && !opt.stateOption.empty())
        return sendRefuse(message, opt.stateOption +
                                       " cannot be used with --scenario (the scenario sets the "
                                       "state)");
    if (opt.mode == SEND_HOLD && opt.countGiven)
        return sendRefuse(message, "--count cannot be used with --hold or --seconds");
    return true;
}

// Reads --flags into the lights, in the layout asked for; false with *message when an item is
// neither a light of that layout nor a number that fits its word.
bool sendReadLights(SendOptions *opt, std::string *message)
{
    std::string bad;
    if (opt->flagsText.empty() || sendParseFlags(opt->flagsText, opt->earlier, &opt->lights, &bad))
        return true;
    if (sendLightByName(bad) != nullptr)
        return sendRefuse(message, opt->earlier ? "the earlier layout has no light '" + bad + "'"
                                                : "today's layout has no light '" + bad +
                                                      "' (--layout earlier)");
    return sendRefuse(message, "bad flags '" + opt->flagsText + "' (names or numbers 0 to " +
                                   (opt->earlier ? "0xFFFF" : "0x7FFFFFFF") + ", comma-separated)");
}

// Reads the command line into *opt and says what main is to do; *message goes with
// SEND_PARSE_ERROR. Reading stops at --help, --list or the first bad argument, whatever follows.
SendParse sendParseArgs(int argc, char **argv, SendOptions *opt, std::string *message)
{
    for (int i = 1; i < argc; ++i) {
        std::string name, value;
        bool inlineValue = sendSplitArg(argv[i], &name, &value);
        if (name == "--help" || name == "-h")
            return SEND_PARSE_HELP;
        if (name == "--list")
            return SEND_PARSE_LIST;
        if (name == "--hold") {
            if (!sendReadHold(inlineValue, opt, message))
                return SEND_PARSE_ERROR;
            continue;
        }
        const SendValued *option = sendFindValued(name);
        if (option == nullptr) {
            *message = std::string("unknown option '") + argv[i] + "'";
            return SEND_PARSE_ERROR;
        }
        if (!inlineValue && i + 1 >= argc) {
            *message = "option '" + name + "' needs a value";
            return SEND_PARSE_ERROR;
        }
        if (!inlineValue)
            value = argv[++i];
        if (option->scenarioSets && opt->stateOption.empty())
            opt->stateOption = name;
        if (!option->read(name, value, opt, message))
            return SEND_PARSE_ERROR;
    }
    if (!sendCheckTogether(*opt, message) || !sendReadLights(opt, message))
        return SEND_PARSE_ERROR;
    return SEND_PARSE_GO;
}

// ---- Sending ----

extern "C" void sendOnSignal(int)
{
    g_stop = 1;
}

// Sleeps until due, in short naps so that Ctrl+C is noticed; false when stopped.
bool sendWaitUntil(std::chrono::steady_clock::time_point due)
{
    const auto nap = std::chrono::milliseconds(50);
    for (;;) {
        if (g_stop)
            return false;
        auto now = std::chrono::steady_clock::now();
        if (now >= due)
            return true;
        std::this_thread::sleep_until(std::min(due, now + nap));
    }
}

// The fields that one current sender adds after the identifier: gear mode (1 byte), cruise
// speed (float), cruise mode (32 bits) and fuel capacity (float), to 109 bytes.
constexpr std::size_t SEND_TRAILER_SIZE = 13;

// The datagram of one state in the layout asked for: the record cut to size, or followed by
// the trailing fields (current layout) and zeros past 96 bytes.
void sendFill(std::vector<unsigned char> *data, const std::string &car, const SendLights &lights,
              float rpm, float fuel, std::int32_t id, bool earlier)
{
    OutGaugePacket packet;
    std::memset(&packet, 0, sizeof packet);
    ogPacketSetCarName(packet, car.c_str());
    if (earlier) {
        ogPacketSetFlags(packet, lights.earlier);
    } else {
        // The units, and every light that all current senders share as the car's.
        ogPacketSetFlags(packet, OG_KM | OG_BAR);
        ogPacketSetLights(packet, OG_DL_SHARED, lights.current);
    }
    ogPacketSetRpm(packet, rpm);
    ogPacketSetFuel(packet, fuel);
    ogPacketSetId(packet, id);
    std::fill(data->begin(), data->end(), 0);
    if (!data->empty())
        std::memcpy(data->data(), packet.bytes, std::min(data->size(), OG_PACKET_SIZE));
    if (!earlier && data->size() >= OG_PACKET_SIZE + SEND_TRAILER_SIZE) {
        // Gear mode 0, cruise control off, a tank of 60 litres (a little-endian float).
        const float capacity = 60.0f;
        std::uint32_t bits = 0;
        std::memcpy(&bits, &capacity, sizeof bits);
        for (std::size_t i = 0; i < 4; ++i)
            (*data)[OG_PACKET_SIZE + 9 + i] = static_cast<unsigned char>(bits >> (8 * i));
    }
}

// Plays the steps, paced against one fixed schedule at rate so the average rate holds
// however long a send takes. Counts the datagrams sent; false when a send failed.
bool sendSteps(SendSocket fd, const SendTarget &target, const SendOptions &opt,
               const std::vector<SendStep> &steps, long *sent)
{
    auto period = std::chrono::duration<double>(1.0 / opt.rate);
    auto start = std::chrono::steady_clock::now();
    long long slot = 0;
    std::vector<unsigned char> data(static_cast<std::size_t>(opt.size), 0);
    for (const SendStep &step : steps) {
        if (g_stop)
            break;
        if (!step.what.empty()) {
            std::printf("%s\n", step.what.c_str());
            std::fflush(stdout);
        }
        long n = step.count;
        if (n <= 0)
            n = std::max(1L, std::lround(static_cast<double>(step.ms) * opt.rate / 1000.0));
        for (long i = 0; i < n; ++i, ++slot) {
            auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   period * static_cast<double>(slot));
            if (slot > 0 && !sendWaitUntil(due))
                return true;
            if (step.silent)
                continue;
            float t = n > 1 ? static_cast<float>(i) / static_cast<float>(n - 1) : 1.0f;
            float rpm = step.rpmFrom + (step.rpmTo - step.rpmFrom) * t;
            float fuel = step.fuelFrom + (step.fuelTo - step.fuelFrom) * t;
            sendFill(&data, step.car, step.lights, rpm, fuel, opt.id, opt.earlier);
            if (!sendDatagram(fd, target, data.data(), data.size()))
                return false;
            ++*sent;
        }
    }
    // A silent end lasts to the end of its last slot.
    if (!steps.empty() && steps.back().silent)
        sendWaitUntil(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  period * static_cast<double>(slot)));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    SendOptions opt;
    std::string message;
    switch (sendParseArgs(argc, argv, &opt, &message)) {
    case SEND_PARSE_GO:
        break;
    case SEND_PARSE_HELP:
        std::printf(g_usage, static_cast<long>(CONFIG_DEFAULTS.outGaugePort));
        return 0;
    case SEND_PARSE_LIST:
        sendListScenarios();
        return 0;
    case SEND_PARSE_ERROR:
        sendUsageError(message);
        return 2;
    }
    if (opt.rate <= 0.0)
        opt.rate = 100.0;

    std::vector<SendStep> steps;
    long wanted = opt.count;
    if (opt.mode == SEND_SCENARIO) {
        std::string car = opt.carGiven ? opt.car : SEND_SCENARIO_CAR;
        opt.scenario->build(car, &steps);
        std::printf("ogsend: scenario %s, car %s, to %s:%ld at %g datagrams/s\n",
                    opt.scenario->name, car.c_str(), opt.host.c_str(), opt.port, opt.rate);
    } else {
        SendStep one = sendStep("", opt.car, 0, opt.rpm, opt.fuel, 0);
        one.lights = opt.lights;
        if (opt.mode == SEND_HOLD) {
            double n = opt.seconds > 0.0 ? std::ceil(opt.seconds * opt.rate) : 0.0;
            one.count =
                n >= 1.0 && n < static_cast<double>(LONG_MAX) ? static_cast<long>(n) : LONG_MAX;
            std::printf("ogsend: holding car '%s', %s 0x%04X, rpm %g, fuel %g at %g "
                        "datagrams/s to %s:%ld ",
                        opt.car.c_str(), opt.earlier ? "flags" : "lights",
                        opt.earlier ? opt.lights.earlier : opt.lights.current,
                        static_cast<double>(opt.rpm), static_cast<double>(opt.fuel), opt.rate,
                        opt.host.c_str(), opt.port);
            if (opt.seconds > 0.0)
                std::printf("for %g s (Ctrl+C stops)\n", opt.seconds);
            else
                std::printf("until Ctrl+C\n");
        } else {
            one.count = opt.count;
        }
        steps.push_back(one);
    }
    std::fflush(stdout);

    if (!sendNetStart())
        return 1;
    SendTarget target;
    if (!sendResolve(opt.host, opt.port, &target)) {
        sendNetStop();
        return 1;
    }
    SendSocket fd = sendOpen();
    if (fd == SEND_NO_SOCKET) {
        sendNetStop();
        return 1;
    }
    std::signal(SIGINT, sendOnSignal);
    std::signal(SIGTERM, sendOnSignal);

    long sent = 0;
    bool ok = sendSteps(fd, target, opt, steps, &sent);
    sendClose(fd);
    sendNetStop();
    if (opt.mode == SEND_BURST) {
        std::printf("ogsend: sent %ld of %ld datagram(s) of %ld bytes to %s:%ld\n", sent, wanted,
                    opt.size, opt.host.c_str(), opt.port);
        return ok && sent == wanted ? 0 : 1;
    }
    std::printf("ogsend: %s; sent %ld datagram(s) of %ld bytes to %s:%ld\n",
                g_stop ? "stopped" : "done", sent, opt.size, opt.host.c_str(), opt.port);
    return ok ? 0 : 1;
}
