// ogsend: sends OutGauge datagrams over UDP, to try a configuration without the simulator.
#include "outgauge/packet.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Largest UDP payload over IPv4.
constexpr long SEND_MAX_SIZE = 65507;

struct SendOptions {
    std::string host = "127.0.0.1";
    long port = 56551;
    std::string car;
    std::uint16_t flags = 0;
    float rpm = 0.0f;
    float fuel = 0.0f;
    std::int32_t id = 0;
    long size = static_cast<long>(OG_PACKET_SIZE);
    long count = 1;
    double rate = 0.0; // 0: not given
};

// Where the datagrams go: an IPv4 address and port, in the socket's own form.
struct SendTarget {
    sockaddr_storage addr;
    socklen_t addrLen;
};

const char g_usage[] =
    "usage: ogsend [options]\n"
    "Sends OutGauge datagrams over UDP.\n"
    "  --host H      receiver's IPv4 address or name (default 127.0.0.1)\n"
    "  --port N      UDP port, 1 to 65535 (default 56551)\n"
    "  --car NAME    car code, at most 4 characters (default empty)\n"
    "  --flags LIST  comma-separated flag names or numbers (e.g. 0x0008):\n"
    "                shift, fullbeam, handbrake, pitspeed (limiter), tc,\n"
    "                signal_l (left), signal_r (right), redline, oilwarn\n"
    "  --rpm F       engine speed (default 0)\n"
    "  --fuel F      fuel left as a fraction, 0 to 1 (default 0)\n"
    "  --id N        trailing identifier at offset 92 (default 0)\n"
    "  --size N      datagram length in bytes, 0 to 65507 (default 96); bytes past\n"
    "                the 96-byte record are zero\n"
    "  --count N     number of datagrams (default 1)\n"
    "  --rate HZ     datagrams per second (default 100 when count > 1)\n"
    "  --help        this text\n";

// Prints a usage error and ends with status 2.
[[noreturn]] void sendUsageError(const char *format, const char *arg)
{
    std::fprintf(stderr, "ogsend: ");
    std::fprintf(stderr, format, arg);
    std::fprintf(stderr, "\nTry 'ogsend --help'.\n");
    std::exit(2);
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

// The mask of one flag name, or 0 when the name is unknown.
std::uint16_t sendFlagByName(const std::string &name)
{
    static const struct {
        const char *name;
        std::uint16_t mask;
    } flags[] = {
        {"shift", OG_SHIFT},       {"fullbeam", OG_FULLBEAM}, {"handbrake", OG_HANDBRAKE},
        {"pitspeed", OG_PITSPEED}, {"limiter", OG_PITSPEED},  {"tc", OG_TC},
        {"signal_l", OG_SIGNAL_L}, {"left", OG_SIGNAL_L},     {"signal_r", OG_SIGNAL_R},
        {"right", OG_SIGNAL_R},    {"redline", OG_REDLINE},   {"oilwarn", OG_OILWARN},
    };
    for (const auto &f : flags) {
        if (name == f.name)
            return f.mask;
    }
    return 0;
}

// Parses a comma-separated list of flag names and numbers into one mask.
bool sendParseFlags(const char *text, std::uint16_t *out)
{
    std::uint16_t mask = 0;
    std::string list(text);
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? comma : comma - start);
        if (item.empty())
            return false;
        long number = 0;
        std::uint16_t named = sendFlagByName(item);
        if (named != 0)
            mask = static_cast<std::uint16_t>(mask | named);
        else if (sendParseLong(item.c_str(), 0, 0xFFFF, &number))
            mask = static_cast<std::uint16_t>(mask | number);
        else
            return false;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    *out = mask;
    return true;
}

void sendParseArgs(int argc, char **argv, SendOptions *opt)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool inlineValue = false;
        std::size_t eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            std::fputs(g_usage, stdout);
            std::exit(0);
        }
        static const char *const valued[] = {"--host", "--port", "--car",  "--flags", "--rpm",
                                             "--fuel", "--id",   "--size", "--count", "--rate"};
        bool known = false;
        for (const char *v : valued)
            known = known || name == v;
        if (!known)
            sendUsageError("unknown option '%s'", argv[i]);
        if (!inlineValue) {
            if (i + 1 >= argc)
                sendUsageError("option '%s' needs a value", name.c_str());
            value = argv[++i];
        }
        const char *v = value.c_str();
        long n = 0;
        double d = 0.0;
        if (name == "--host") {
            if (value.empty())
                sendUsageError("empty host%s", "");
            opt->host = value;
        } else if (name == "--port") {
            if (!sendParseLong(v, 1, 65535, &n))
                sendUsageError("bad port '%s' (1 to 65535)", v);
            opt->port = n;
        } else if (name == "--car") {
            if (value.size() > 4)
                sendUsageError("car name '%s' is longer than 4 characters", v);
            opt->car = value;
        } else if (name == "--flags") {
            if (!sendParseFlags(v, &opt->flags))
                sendUsageError("bad flags '%s' (names or numbers 0 to 0xFFFF, comma-separated)",
                               v);
        } else if (name == "--rpm") {
            if (!sendParseDouble(v, -1e9, 1e9, &d))
                sendUsageError("bad engine speed '%s'", v);
            opt->rpm = static_cast<float>(d);
        } else if (name == "--fuel") {
            if (!sendParseDouble(v, 0.0, 1.0, &d))
                sendUsageError("bad fuel '%s' (0 to 1)", v);
            opt->fuel = static_cast<float>(d);
        } else if (name == "--id") {
            if (!sendParseLong(v, INT32_MIN, INT32_MAX, &n))
                sendUsageError("bad identifier '%s' (a 32-bit signed number)", v);
            opt->id = static_cast<std::int32_t>(n);
        } else if (name == "--size") {
            if (!sendParseLong(v, 0, SEND_MAX_SIZE, &n))
                sendUsageError("bad size '%s' (0 to 65507)", v);
            opt->size = n;
        } else if (name == "--count") {
            if (!sendParseLong(v, 1, 1000000000L, &n))
                sendUsageError("bad count '%s' (1 or more)", v);
            opt->count = n;
        } else if (name == "--rate") {
            if (!sendParseDouble(v, 0.001, 1e6, &d))
                sendUsageError("bad rate '%s' (datagrams per second, above 0)", v);
            opt->rate = d;
        }
    }
}

// Resolves host and port to an IPv4 target; prints the reason on failure.
bool sendResolve(const std::string &host, long port, SendTarget *target)
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    std::string service = std::to_string(port);
    int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0 || found == nullptr) {
        std::fprintf(stderr, "ogsend: cannot resolve '%s': %s\n", host.c_str(),
                     gai_strerror(rc));
        return false;
    }
    std::memcpy(&target->addr, found->ai_addr, found->ai_addrlen);
    target->addrLen = found->ai_addrlen;
    freeaddrinfo(found);
    return true;
}

// An IPv4 UDP socket for sending, or -1.
int sendOpen()
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        std::fprintf(stderr, "ogsend: cannot create socket: %s\n", std::strerror(errno));
    return fd;
}

// Sends one datagram; prints the reason on failure.
bool sendDatagram(int fd, const SendTarget &target, const unsigned char *data, std::size_t len)
{
    ssize_t n = sendto(fd, data, len, 0, reinterpret_cast<const sockaddr *>(&target.addr),
                       target.addrLen);
    if (n < 0 || static_cast<std::size_t>(n) != len) {
        std::fprintf(stderr, "ogsend: send failed: %s\n",
                     n < 0 ? std::strerror(errno) : "short write");
        return false;
    }
    return true;
}

void sendClose(int fd) { close(fd); }

} // namespace

int main(int argc, char **argv)
{
    SendOptions opt;
    sendParseArgs(argc, argv, &opt);
    if (opt.rate <= 0.0)
        opt.rate = 100.0;

    OutGaugePacket packet;
    std::memset(&packet, 0, sizeof packet);
    ogPacketSetCarName(packet, opt.car.c_str());
    ogPacketSetFlags(packet, opt.flags);
    ogPacketSetRpm(packet, opt.rpm);
    ogPacketSetFuel(packet, opt.fuel);
    ogPacketSetId(packet, opt.id);

    // The datagram: the record cut to --size, or padded with zeros past 96 bytes.
    std::vector<unsigned char> data(static_cast<std::size_t>(opt.size), 0);
    if (!data.empty())
        std::memcpy(data.data(), packet.bytes, std::min(data.size(), OG_PACKET_SIZE));

    SendTarget target;
    if (!sendResolve(opt.host, opt.port, &target))
        return 1;
    int fd = sendOpen();
    if (fd < 0)
        return 1;

    // Paced against a fixed schedule, so the average rate holds however long a send takes.
    auto period = std::chrono::duration<double>(1.0 / opt.rate);
    auto start = std::chrono::steady_clock::now();
    long sent = 0;
    for (; sent < opt.count; ++sent) {
        if (sent > 0) {
            auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   period * static_cast<double>(sent));
            std::this_thread::sleep_until(due);
        }
        if (!sendDatagram(fd, target, data.data(), data.size()))
            break;
    }
    sendClose(fd);
    std::printf("ogsend: sent %ld of %ld datagram(s) of %ld bytes to %s:%ld\n", sent, opt.count,
                opt.size, opt.host.c_str(), opt.port);
    return sent == opt.count ? 0 : 1;
}
