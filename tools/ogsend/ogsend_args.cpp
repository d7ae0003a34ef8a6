// ogsend's command line: the options, their values and the usage text.
#include "tools/ogsend/ogsend.h"

#include <cerrno>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Largest UDP payload over IPv4.
constexpr long SEND_MAX_SIZE = 65507;

// A format: the default port comes from the program's defaults.
const char g_usage[] =
    "usage: ogsend [options]                 send one state (--count times)\n"
    "       ogsend --hold [options]          send one state until Ctrl+C (or --seconds)\n"
    "       ogsend --scenario NAME [options] play a short drive (see --list)\n"
    "       ogsend --list                    list the scenarios\n"
    "Sends OutGauge datagrams over UDP, as the simulator does, to try a configuration;\n"
    "with --game, the datagrams of another game.\n"
    "Where the datagrams go:\n"
    "  --host H      receiver's IPv4 address or name (default 127.0.0.1)\n"
    "  --port N      UDP port, 1 to 65535 (default %ld, for every game)\n"
    "  --rate HZ     datagrams per second (default 100; F1: frames of three)\n"
    "  --game NAME   send that game's datagrams (see Games below; default outgauge)\n"
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
    "                given); Forza: the CarOrdinal, 0 to 999999 (default 1000)\n"
    "  --flags LIST  the lights on, comma-separated names or numbers (the bits of\n"
    "                the layout's word, e.g. 0x0008): shift, fullbeam, handbrake,\n"
    "                pitspeed (limiter), tc, signal_l (left), signal_r (right),\n"
    "                oilwarn, abs, battery; redline in the earlier layout only\n"
    "  --rpm F       engine speed (default 0; F1 and ams2: 0 to 65535)\n"
    "  --max F       a game's maximum engine speed, 0 to 1000000 (default 8000;\n"
    "                F1 and ams2: to 65535)\n"
    "  --fuel F      fuel left as a fraction, 0 to 1 (default 1, a full tank)\n"
    "How long:\n"
    "  --count N     number of datagrams (default 1; F1: frames)\n"
    "  --hold        send the state at --rate until Ctrl+C\n"
    "  --seconds S   stop holding after S seconds (implies --hold)\n"
    "  --scenario NAME  play the named scenario; prints each step as it begins\n"
    "  --list        list the scenarios with what they do\n"
    "  --help        this text\n"
    "Games (--game NAME) and the options each takes besides --host, --port, --rate,\n"
    "--rpm, --max and those of how long:\n"
    "  outgauge            OutGauge, the default (no --max): --car, --flags, --fuel,\n"
    "                      --size, --id, --layout\n"
    "  f1-23, f1-24, f1-25 F1 packet formats 2023 to 2025; a frame is Car Telemetry,\n"
    "                      Motion and Car Status: --fuel, --flags shift,pitspeed\n"
    "  forza-sled          Forza Sled, 232 bytes: --car\n"
    "  forza-dash          Forza Motorsport 7 Dash, 311 bytes: --car, --fuel\n"
    "  forza-motorsport    Forza Motorsport (2023) Dash, 331 bytes: --car, --fuel\n"
    "  forza-horizon       Forza Horizon 4 to 6, 324 bytes: --car, --fuel\n"
    "  dirt                DiRT Rally, DiRT Rally 2.0, DiRT 4, 264 bytes: --fuel\n"
    "  ams2                Automobilista 2 and Project CARS 2 telemetry, 556 bytes:\n"
    "                      --fuel, --flags fullbeam,oilwarn,pitspeed,abs,handbrake\n"
    "  A scenario plays the lights that the game has; car-change needs a game with\n"
    "  car names (outgauge, Forza), and drive leaves it out in the others.\n"
    "Exit status: 0 when everything was sent, 1 when sending failed, 2 for bad arguments.\n";

// Parses a whole string as a number within [lo, hi]: an integer (decimal, 0x hex) when whole,
// else a finite decimal.
bool sendParseNumber(const char *text, bool whole, double lo, double hi, double *out)
{
    errno = 0;
    char *end = nullptr;
    double v = whole ? static_cast<double>(std::strtol(text, &end, 0)) : std::strtod(text, &end);
    if (*text == '\0' || errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// The action table's row of the code of one light name, or NULL when the name is unknown.
const LedActionInfo *sendLightByName(const std::string &name)
{
    for (const SendLightName &n : SEND_LIGHT_NAMES) {
        if (n.name != nullptr && (name == n.name || (n.alias != nullptr && name == n.alias)))
            return &LED_ACTIONS[n.code];
    }
    return nullptr;
}

// Parses a comma-separated list of light names and numbers into the word of the layout;
// *bad is the first item that is neither (or a light the layout does not have). A game's list
// takes only the names of the lights that the game has.
bool sendParseFlags(const std::string &list, const SendGame &game, bool earlier, SendLights *out,
                    std::string *bad)
{
    const bool outGauge = game.format == SEND_OUTGAUGE;
    SendLights lights = {0, 0};
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? comma : comma - start);
        *bad = item;
        double number = 0.0;
        const LedActionInfo *named = sendLightByName(item);
        if (named != nullptr && !outGauge && (ledOwnLight(*named) & game.lights) != 0) {
            lights.current |= ledOwnLight(*named);
        } else if (named != nullptr && outGauge &&
                   (earlier ? named->flag != 0 : named->light != 0)) {
            lights.current |= ledOwnLight(*named);
            lights.earlier = static_cast<std::uint16_t>(lights.earlier | named->flag);
        } else if (named == nullptr && outGauge &&
                   sendParseNumber(item.c_str(), true, 0, earlier ? 0xFFFF : 0x7FFFFFFF, &number)) {
            const std::uint32_t bits = static_cast<std::uint32_t>(number);
            lights.current |= bits;
            lights.earlier = static_cast<std::uint16_t>(lights.earlier | bits);
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

// Sets *message to text and gives false.
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

struct SendOption;

// A reader of one kind of option value: stores the value where option says and tells whether
// it is of that kind. A bad value ends the reading, so what was stored for it is never used.
typedef bool (*SendReader)(const SendOption &option, const std::string &value, SendOptions *opt);

// An option: the reader of its value and where the value goes, and what giving it means besides.
struct SendOption {
    const char *name;
    SendReader read;              // NULL: the option takes no value
    const char *refusal;          // the message for a bad value, with the value in place of %s
                                  // and the names of the games in place of %l
    double lo, hi;                // a number's range
    long SendOptions::*whole;     // where an integer goes
    double SendOptions::*decimal; // where a decimal goes
    bool SendOptions::*given;     // set when the option is given, or NULL
    SendMode mode;                // the mode it asks for; SEND_BURST: none
    bool scenarioSets;            // a scenario sets this part of the state itself
};

// The options that ask for each mode, indexed by SendMode, for messages.
const char *const SEND_MODE_OPTIONS[] = {"", "--hold or --seconds", "--scenario"};

// An integer (decimal, 0x hex) within the option's range.
bool sendReadWhole(const SendOption &option, const std::string &value, SendOptions *opt)
{
    double number = 0.0;
    const bool fits = sendParseNumber(value.c_str(), true, option.lo, option.hi, &number);
    opt->*option.whole = static_cast<long>(number);
    return fits;
}

// A finite number within the option's range.
bool sendReadDecimal(const SendOption &option, const std::string &value, SendOptions *opt)
{
    return sendParseNumber(value.c_str(), false, option.lo, option.hi, &(opt->*option.decimal));
}

// The receiver's address or name: any text but none.
bool sendReadHost(const SendOption &, const std::string &value, SendOptions *opt)
{
    opt->host = value;
    return !value.empty();
}

// Whether text is a Forza car ordinal: a decimal number 0 to SEND_MAX_ORDINAL.
bool sendIsOrdinal(const std::string &text)
{
    double number = 0.0;
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
           sendParseNumber(text.c_str(), false, 0, static_cast<double>(SEND_MAX_ORDINAL), &number);
}

// A car name that OutGauge's car field can carry, or a number, which a Forza format takes as a
// car ordinal: which of them the format takes is checked once the format is known, which may
// come later.
bool sendReadCar(const SendOption &, const std::string &value, SendOptions *opt)
{
    opt->car = value;
    return ogCarNameFits(value.c_str()) ||
           (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos);
}

// The list of lights, kept as given: it is read once the layout is known, which may come later.
bool sendReadFlags(const SendOption &, const std::string &value, SendOptions *opt)
{
    opt->flagsText = value;
    return true;
}

// A layout's name: current or earlier.
bool sendReadLayout(const SendOption &, const std::string &value, SendOptions *opt)
{
    opt->earlier = value == "earlier";
    return opt->earlier || value == "current";
}

// A format's name.
bool sendReadGame(const SendOption &, const std::string &value, SendOptions *opt)
{
    const SendGame *game = sendFindGame(value);
    if (game != nullptr)
        opt->game = game;
    return game != nullptr;
}

// A scenario's name.
bool sendReadScenario(const SendOption &, const std::string &value, SendOptions *opt)
{
    opt->scenario = sendFindScenario(value);
    return opt->scenario != nullptr;
}

// The refusal of a car that fits neither the car field nor a Forza format, and of a Forza car
// ordinal for OutGauge.
const char SEND_CAR_REFUSAL[] =
    "car name '%s' is longer than 4 characters (and no mod car's SkinID of 6 hex digits)";

// Every option but --help and --list, which end the reading.
const SendOption g_options[] = {
    {"--host", sendReadHost, "empty host", 0, 0, nullptr, nullptr, nullptr, SEND_BURST, false},
    {"--port", sendReadWhole, "bad port '%s' (1 to 65535)", 1, 65535, &SendOptions::port, nullptr,
     nullptr, SEND_BURST, false},
    {"--car", sendReadCar, SEND_CAR_REFUSAL, 0, 0, nullptr, nullptr, &SendOptions::carGiven,
     SEND_BURST, false},
    {"--flags", sendReadFlags, nullptr, 0, 0, nullptr, nullptr, nullptr, SEND_BURST, true},
    {"--rpm", sendReadDecimal, "bad engine speed '%s'", -1e9, 1e9, nullptr, &SendOptions::rpm,
     nullptr, SEND_BURST, true},
    {"--max", sendReadDecimal, "bad maximum engine speed '%s' (0 to 1000000)", 0, 1e6, nullptr,
     &SendOptions::max, nullptr, SEND_BURST, false},
    {"--fuel", sendReadDecimal, "bad fuel '%s' (0 to 1)", 0, 1, nullptr, &SendOptions::fuel,
     nullptr, SEND_BURST, true},
    {"--id", sendReadWhole, "bad identifier '%s' (a 32-bit signed number)", INT32_MIN, INT32_MAX,
     &SendOptions::id, nullptr, nullptr, SEND_BURST, false},
    {"--size", sendReadWhole, "bad size '%s' (0 to 65507)", 0, SEND_MAX_SIZE, &SendOptions::size,
     nullptr, nullptr, SEND_BURST, false},
    {"--count", sendReadWhole, "bad count '%s' (1 or more)", 1, 1e9, &SendOptions::count, nullptr,
     &SendOptions::countGiven, SEND_BURST, true},
    {"--rate", sendReadDecimal, "bad rate '%s' (datagrams per second, above 0)", 0.001, 1e6,
     nullptr, &SendOptions::rate, nullptr, SEND_BURST, false},
    {"--hold", nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, SEND_HOLD, false},
    {"--seconds", sendReadDecimal, "bad duration '%s' (seconds, above 0)", 0.001, 1e7, nullptr,
     &SendOptions::seconds, nullptr, SEND_HOLD, false},
    {"--scenario", sendReadScenario, "unknown scenario '%s' (see 'ogsend --list')", 0, 0, nullptr,
     nullptr, nullptr, SEND_SCENARIO, false},
    {"--layout", sendReadLayout, "bad layout '%s' (current or earlier)", 0, 0, nullptr, nullptr,
     nullptr, SEND_BURST, false},
    {"--game", sendReadGame, "unknown game '%s' (the games: %l)", 0, 0, nullptr, nullptr, nullptr,
     SEND_BURST, false},
};

// The options that not every format carries: the bit of SendGame::takes, and what a format
// without it lacks, after its name.
const struct {
    const char *name;
    unsigned takes;
    const char *lack;
} g_formatOptions[] = {
    {"--car", SEND_TAKES_CAR, "sends no car names"},
    {"--flags", SEND_TAKES_FLAGS, "sends no lights"},
    {"--fuel", SEND_TAKES_FUEL, "sends no fuel"},
    {"--max", SEND_TAKES_MAX, "sends no maximum engine speed (see --game)"},
    {"--size", SEND_TAKES_SIZE, "sends datagrams of the game's own length"},
    {"--id", SEND_TAKES_ID, "sends no identifier"},
    {"--layout", SEND_TAKES_LAYOUT, "has no layouts"},
};

// The option of that name, or NULL when there is none.
const SendOption *sendFindOption(const std::string &name)
{
    for (const SendOption &o : g_options) {
        if (name == o.name)
            return &o;
    }
    return nullptr;
}

// Takes the mode that option asks for, if any; false with *message when another mode was
// asked for before.
bool sendTakeMode(const SendOption &option, SendOptions *opt, std::string *message)
{
    if (option.mode == SEND_BURST)
        return true;
    if (opt->mode != SEND_BURST && opt->mode != option.mode)
        return sendRefuse(message, std::string(option.name) + " cannot be used with " +
                                       SEND_MODE_OPTIONS[opt->mode]);
    opt->mode = option.mode;
    return true;
}

// A refusal with the value in place of %s and the names of the games in place of %l.
std::string sendRefusal(const char *refusal, const std::string &value)
{
    std::string text = refusal;
    std::size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, value);
    at = text.find("%l");
    if (at != std::string::npos)
        text.replace(at, 2, sendGameNames());
    return text;
}

// Reads option, given with value (none when it takes none): its value, then what giving it
// means besides; false with *message when the value is bad or the mode clashes.
bool sendReadOption(const SendOption &option, const std::string &value, SendOptions *opt,
                    std::string *message)
{
    if (option.scenarioSets && opt->stateOption.empty())
        opt->stateOption = option.name;
    opt->given.push_back(option.name);
    if (option.read != nullptr && !option.read(option, value, opt))
        return sendRefuse(message, sendRefusal(option.refusal, value));
    if (option.given != nullptr)
        opt->*option.given = true;
    return sendTakeMode(option, opt, message);
}

// Checks the options that exclude each other whatever their order; false with *message.
bool sendCheckTogether(const SendOptions &opt, std::string *message)
{
    if (opt.mode == SEND_SCENARIO && !opt.stateOption.empty())
        return sendRefuse(message, opt.stateOption +
                                       " cannot be used with --scenario (the scenario sets the "
                                       "state)");
    if (opt.mode == SEND_HOLD && opt.countGiven)
        return sendRefuse(message, std::string("--count cannot be used with ") +
                                       SEND_MODE_OPTIONS[SEND_HOLD]);
    return true;
}

// Checks the options given against the format asked for: each one the format carries, a car
// of the format's kind, engine speeds that fit its fields and a scenario it can show; false
// with *message, which names the option and the format.
bool sendCheckFormat(const SendOptions &opt, std::string *message)
{
    const SendGame &game = *opt.game;
    const std::string of = std::string(": ") + game.name + " ";
    for (const std::string &name : opt.given) {
        for (const auto &f : g_formatOptions) {
            if (name == f.name && (game.takes & f.takes) == 0)
                return sendRefuse(message, name + of + f.lack);
        }
    }
    if (game.format == SEND_OUTGAUGE && opt.carGiven && !ogCarNameFits(opt.car.c_str()))
        return sendRefuse(message, sendRefusal(SEND_CAR_REFUSAL, opt.car));
    if (game.format == SEND_FORZA && opt.carGiven && !sendIsOrdinal(opt.car))
        return sendRefuse(message,
                          "--car" + of + "takes a car ordinal, 0 to 999999, not '" + opt.car + "'");
    if (game.wholeRpm && (opt.rpm < 0.0 || opt.rpm > 65535.0))
        return sendRefuse(message, "--rpm" + of + "sends engine speeds of 0 to 65535");
    if (game.wholeRpm && opt.max > 65535.0)
        return sendRefuse(message, "--max" + of + "sends engine speeds of 0 to 65535");
    if (opt.mode == SEND_SCENARIO && game.car == nullptr && sendScenarioChangesCar(*opt.scenario))
        return sendRefuse(message, std::string("--scenario ") + sendScenarioName(*opt.scenario) +
                                       of + "sends no car names");
    return true;
}

// The names of the lights that a game has, comma-separated.
std::string sendGameLightNames(const SendGame &game)
{
    std::string names;
    for (const SendLightName &n : SEND_LIGHT_NAMES) {
        if (n.name != nullptr && (ledOwnLight(LED_ACTIONS[n.code]) & game.lights) != 0)
            names += (names.empty() ? "" : ", ") + std::string(n.name);
    }
    return names;
}

// Reads --flags into the lights, in the layout asked for; false with *message when an item is
// neither a light of that layout nor a number that fits its word (for a game: not the name of
// one of its lights).
bool sendReadLights(SendOptions *opt, std::string *message)
{
    std::string bad;
    if (opt->flagsText.empty() ||
        sendParseFlags(opt->flagsText, *opt->game, opt->earlier, &opt->lights, &bad))
        return true;
    if (opt->game->format != SEND_OUTGAUGE)
        return sendRefuse(message, "--flags: " + std::string(opt->game->name) + " has no light '" +
                                       bad + "' (its lights: " + sendGameLightNames(*opt->game) +
                                       ")");
    if (sendLightByName(bad) != nullptr)
        return sendRefuse(message, opt->earlier ? "the earlier layout has no light '" + bad + "'"
                                                : "today's layout has no light '" + bad +
                                                      "' (--layout earlier)");
    return sendRefuse(message, "bad flags '" + opt->flagsText + "' (names or numbers 0 to " +
                                   (opt->earlier ? "0xFFFF" : "0x7FFFFFFF") + ", comma-separated)");
}

} // namespace

void sendPrintUsage()
{
    std::printf(g_usage, static_cast<long>(CONFIG_DEFAULTS.outGaugePort));
}

void sendUsageError(const std::string &message)
{
    std::fprintf(stderr, "ogsend: %s\nTry 'ogsend --help'.\n", message.c_str());
}

SendParse sendParseArgs(int argc, char **argv, SendOptions *opt, std::string *message)
{
    for (int i = 1; i < argc; ++i) {
        std::string name, value;
        bool inlineValue = sendSplitArg(argv[i], &name, &value);
        if (name == "--help" || name == "-h")
            return SEND_PARSE_HELP;
        if (name == "--list")
            return SEND_PARSE_LIST;
        const SendOption *option = sendFindOption(name);
        if (option == nullptr) {
            *message = std::string("unknown option '") + argv[i] + "'";
            return SEND_PARSE_ERROR;
        }
        if (option->read == nullptr && inlineValue) {
            *message = "option '" + name + "' takes no value";
            return SEND_PARSE_ERROR;
        }
        if (option->read != nullptr && !inlineValue) {
            if (i + 1 >= argc) {
                *message = "option '" + name + "' needs a value";
                return SEND_PARSE_ERROR;
            }
            value = argv[++i];
        }
        if (!sendReadOption(*option, value, opt, message))
            return SEND_PARSE_ERROR;
    }
    if (!sendCheckTogether(*opt, message) || !sendCheckFormat(*opt, message) ||
        !sendReadLights(opt, message))
        return SEND_PARSE_ERROR;
    return SEND_PARSE_GO;
}
