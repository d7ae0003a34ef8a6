// ogsend's command line: the options, their values and the usage text.
#include "tools/ogsend/ogsend.h"

#include <cerrno>
#include <climits>
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
