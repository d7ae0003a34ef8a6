// The datagram sender as a user runs it: its scenarios, --hold, the games' formats and its
// argument errors, with the datagrams received on a loopback UDP socket; and its light names
// against the action table.
#include "outgauge/packet.h"
#include "support/process.h"
#include "support/test_support.h"
#include "tools/ogsend/ogsend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <ostream>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// One received datagram: its length, its first bytes, the fields read at their offsets and
// when it came.
struct Received {
    std::size_t size;
    std::vector<unsigned char> head; // up to 112 bytes
    std::string car;
    std::uint16_t flags;
    std::uint32_t available; // the lights available, at 40
    std::uint32_t lights;    // the lights on, at 44
    float rpm;
    float fuel;
    long long atMs;
    std::vector<unsigned char> bytes; // the whole datagram
};

std::uint32_t wordAt(const unsigned char *b, std::size_t offset)
{
    return static_cast<std::uint32_t>(b[offset]) | static_cast<std::uint32_t>(b[offset + 1]) << 8 |
           static_cast<std::uint32_t>(b[offset + 2]) << 16 |
           static_cast<std::uint32_t>(b[offset + 3]) << 24;
}

// A loopback UDP socket on a free port, read by a thread of its own into a list.
class Receiver {
public:
    Receiver()
    {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        int big = 1 << 20;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
        reader = std::thread([this] { run(); });
    }
    ~Receiver()
    {
        stop = true;
        reader.join();
        close(fd);
    }

    std::vector<Received> take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return got;
    }

    // Waits until at least n datagrams have come.
    bool waitFor(std::size_t n, int timeoutMs)
    {
        long long end = testNowMs() + timeoutMs;
        while (testNowMs() < end) {
            if (take().size() >= n)
                return true;
            usleep(10000);
        }
        return false;
    }

    int port = 0;

private:
    void run()
    {
        while (!stop) {
            struct pollfd pfd = {fd, POLLIN, 0};
            if (poll(&pfd, 1, 20) <= 0)
                continue;
            unsigned char buf[65536];
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n < 0)
                continue;
            unsigned char b[112] = {};
            std::memcpy(b, buf, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof b));
            float rpm, fuel;
            std::uint32_t bits = wordAt(b, 16);
            std::memcpy(&rpm, &bits, sizeof rpm);
            bits = wordAt(b, 28);
            std::memcpy(&fuel, &bits, sizeof fuel);
            Received r{static_cast<std::size_t>(n),
                       std::vector<unsigned char>(
                           b, b + std::min<std::size_t>(static_cast<std::size_t>(n), sizeof b)),
                       std::string(reinterpret_cast<const char *>(b + 4),
                                   strnlen(reinterpret_cast<const char *>(b + 4), 4)),
                       static_cast<std::uint16_t>(b[8] | b[9] << 8),
                       wordAt(b, 40),
                       wordAt(b, 44),
                       rpm,
                       fuel,
                       testNowMs(),
                       std::vector<unsigned char>(buf, buf + n)};
            std::lock_guard<std::mutex> lock(mutex);
            got.push_back(r);
        }
    }

    int fd = -1;
    std::atomic<bool> stop{false};
    std::thread reader;
    std::mutex mutex;
    std::vector<Received> got;
};

// Runs ogsend to its end: its output lines and its exit status.
struct SendRun {
    std::vector<std::string> lines;
    int status = -1;
};

SendRun runOgsend(const std::vector<std::string> &args, int timeoutMs = 60000)
{
    SendRun run;
    TestProcess proc;
    if (!processStart(proc, LUMIVANE_OGSEND, args, "")) {
        ADD_FAILURE() << "cannot start ogsend";
        return run;
    }
    std::string line;
    long long end = testNowMs() + timeoutMs;
    while (testNowMs() < end && processReadLine(proc, line, static_cast<int>(end - testNowMs())))
        run.lines.push_back(line);
    int status = processStop(proc, 0, 5000);
    run.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (proc.outFd >= 0)
        close(proc.outFd);
    return run;
}

// Runs ogsend through the shell: what it wrote to stderr, stdout and its exit status.
struct ShellRun {
    std::string err;
    std::string out;
    int status;
};

ShellRun shellOgsend(const std::string &args)
{
    std::string outFile = "/tmp/lumivane-ogsend-out-" + std::to_string(getpid());
    std::string cmd = std::string("'") + LUMIVANE_OGSEND + "' " + args + " 2>&1 >" + outFile;
    ShellRun r{"", "", -1};
    FILE *f = popen(cmd.c_str(), "r");
    if (f == nullptr)
        return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, f) != nullptr)
        r.err += buf;
    int status = pclose(f);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    FILE *o = std::fopen(outFile.c_str(), "r");
    if (o != nullptr) {
        while (std::fgets(buf, sizeof buf, o) != nullptr)
            r.out += buf;
        std::fclose(o);
    }
    std::remove(outFile.c_str());
    return r;
}

// Consecutive datagrams with the same car and lights, as one run.
struct Stretch {
    std::string car;
    std::uint32_t lights;
    std::size_t count;
};

std::vector<Stretch> stretches(const std::vector<Received> &got)
{
    std::vector<Stretch> out;
    for (const Received &r : got) {
        if (out.empty() || out.back().car != r.car || out.back().lights != r.lights)
            out.push_back(Stretch{r.car, r.lights, 0});
        ++out.back().count;
    }
    return out;
}

std::vector<std::string> scenarioArgs(const Receiver &rx, const std::string &name,
                                      std::vector<std::string> more = {})
{
    std::vector<std::string> args = {"--scenario", name, "--port", std::to_string(rx.port),
                                     "--rate",     "50"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The step lines between the first line (what is played) and the last (the summary).
std::vector<std::string> stepLines(const SendRun &run)
{
    if (run.lines.size() < 2)
        return {};
    return std::vector<std::string>(run.lines.begin() + 1, run.lines.end() - 1);
}

struct ScenarioCase {
    const char *name;
    std::vector<std::string> extra;
    std::vector<std::string> steps;
    std::vector<Stretch> stretches; // count 0: any number
};

void PrintTo(const ScenarioCase &c, std::ostream *os)
{
    *os << c.name;
}

class OgsendScenario : public testing::TestWithParam<ScenarioCase> {};

} // namespace

// Each scenario prints its steps in order and sends them as stretches of one state each;
// at 50 datagrams per second a step of n ms is n / 20 datagrams.
TEST_P(OgsendScenario, PrintsItsStepsAndSendsThemInOrder)
{
    const ScenarioCase &c = GetParam();
    Receiver rx;
    SendRun run = runOgsend(scenarioArgs(rx, c.name, c.extra));
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(stepLines(run), c.steps);
    ASSERT_GE(run.lines.size(), 2u);
    std::size_t total = 0;
    for (const Stretch &s : c.stretches)
        total += s.count;
    ASSERT_TRUE(rx.waitFor(total, 10000)) << rx.take().size() << " of " << total;
    EXPECT_EQ(run.lines.back(),
              "ogsend: done; sent " + std::to_string(total) +
                  " datagram(s) of 96 bytes to 127.0.0.1:" + std::to_string(rx.port));
    std::vector<Stretch> got = stretches(rx.take());
    ASSERT_EQ(got.size(), c.stretches.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].car, c.stretches[i].car) << "stretch " << i;
        EXPECT_EQ(got[i].lights, c.stretches[i].lights) << "stretch " << i;
        EXPECT_EQ(got[i].count, c.stretches[i].count) << "stretch " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, OgsendScenario,
    testing::Values(ScenarioCase{"limiter",
                                 {},
                                 {"limiter on", "limiter off"},
                                 {{"XRT", OG_DL_PITSPEED, 100}, {"XRT", 0, 50}}},
                    ScenarioCase{"shift",
                                 {"--car", "UF1"},
                                 {"shift light on", "shift light off", "shift light on",
                                  "shift light off", "shift light on", "shift light off"},
                                 {{"UF1", OG_DL_SHIFT, 30},
                                  {"UF1", 0, 30},
                                  {"UF1", OG_DL_SHIFT, 30},
                                  {"UF1", 0, 30},
                                  {"UF1", OG_DL_SHIFT, 30},
                                  {"UF1", 0, 30}}},
                    ScenarioCase{"signals",
                                 {},
                                 {"left signal", "right signal", "hazard lights (both signals)",
                                  "signals off"},
                                 {{"XRT", OG_DL_SIGNAL_L, 75},
                                  {"XRT", OG_DL_SIGNAL_R, 75},
                                  {"XRT", OG_DL_SIGNAL_L | OG_DL_SIGNAL_R, 75},
                                  {"XRT", 0, 25}}},
                    ScenarioCase{"car-change",
                                 {"--car", "UF1"},
                                 {"car FZR", "car UF1", "car FZR", "car UF1"},
                                 {{"FZR", 0, 50}, {"UF1", 0, 50}, {"FZR", 0, 50}, {"UF1", 0, 50}}},
                    ScenarioCase{"car-change",
                                 {"--car", "FZR"},
                                 {"car XRT", "car FZR", "car XRT", "car FZR"},
                                 {{"XRT", 0, 50}, {"FZR", 0, 50}, {"XRT", 0, 50}, {"FZR", 0, 50}}}),
    [](const testing::TestParamInfo<ScenarioCase> &info) {
        std::string n = std::string(info.param.name) + "_" + std::to_string(info.index);
        for (char &ch : n)
            if (ch == '-')
                ch = '_';
        return n;
    });

namespace {

// Bytes expected at an offset of a datagram.
struct At {
    std::size_t offset;
    std::vector<unsigned char> bytes;
};

// A datagram expected: its length and some of its bytes.
struct Datagram {
    std::size_t size;
    std::vector<At> at;
};

// Little-endian values, as the games' formats hold them.
std::vector<unsigned char> le16(unsigned v)
{
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
}

std::vector<unsigned char> le32(std::uint32_t v)
{
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
}

std::vector<unsigned char> f32(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return le32(bits);
}

struct GameCase {
    std::vector<std::string> args;
    std::vector<Datagram> datagrams; // in the order sent
    const char *summary;             // the closing line up to the port
};

void PrintTo(const GameCase &c, std::ostream *os)
{
    for (const std::string &a : c.args)
        *os << a << ' ';
}

class OgsendGame : public testing::TestWithParam<GameCase> {};

// F1: the records of the player's car (header byte 27: 19) at 29 + 60 * 19 in Car Telemetry
// and 29 + 55 * 19 in Car Status.
constexpr std::size_t F1_TELEMETRY_PLAYER = 29 + 60 * 19, F1_STATUS_PLAYER = 29 + 55 * 19;

} // namespace

// One burst of each game's format: the datagrams' lengths and their fields at the format's
// offsets, and the closing line naming the game.
TEST_P(OgsendGame, SendsTheGamesDatagrams)
{
    const GameCase &c = GetParam();
    Receiver rx;
    std::vector<std::string> args = {"--port", std::to_string(rx.port)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SendRun run = runOgsend(args);
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_EQ(run.lines[0], std::string(c.summary) + " to 127.0.0.1:" + std::to_string(rx.port));
    ASSERT_TRUE(rx.waitFor(c.datagrams.size(), 10000));
    usleep(100000); // nothing more comes
    std::vector<Received> got = rx.take();
    ASSERT_EQ(got.size(), c.datagrams.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].size, c.datagrams[i].size) << "datagram " << i;
        for (const At &at : c.datagrams[i].at) {
            std::vector<unsigned char> field(got[i].bytes.begin() + at.offset,
                                             got[i].bytes.begin() + at.offset + at.bytes.size());
            EXPECT_EQ(field, at.bytes) << "datagram " << i << ", offset " << at.offset;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Games, OgsendGame,
    testing::Values(
        // Car Telemetry, Motion, Car Status: packetFormat, gameYear, packetId, playerCarIndex;
        // the player's engine speed and rev lights (a full bar for the shift light), another
        // car's engine speed; the pit limiter, fuel in tank and capacity, maxRPM.
        GameCase{{"--game", "f1-23", "--flags", "shift", "--rpm", "11000", "--fuel", "0.25",
                  "--max", "12500"},
                 {{1352,
                   {{0, le16(2023)},
                    {2, {23}},
                    {6, {6}},
                    {27, {19}},
                    {F1_TELEMETRY_PLAYER + 16, le16(11000)},
                    {F1_TELEMETRY_PLAYER + 20, le16(0x7FFF)},
                    {29 + 16, le16(10500)}}},
                  {1349, {{0, le16(2023)}, {6, {0}}, {27, {19}}}},
                  {1239,
                   {{0, le16(2023)},
                    {6, {7}},
                    {27, {19}},
                    {F1_STATUS_PLAYER + 4, {0}},
                    {F1_STATUS_PLAYER + 5, f32(27.5f)},
                    {F1_STATUS_PLAYER + 9, f32(110.0f)},
                    {F1_STATUS_PLAYER + 17, le16(12500)}}}},
                 "ogsend: sent 1 of 1 f1-23 frame(s) of three datagrams (1352, 1349 and 1239 "
                 "bytes)"},
        GameCase{
            {"--game", "f1-24", "--flags", "limiter", "--rpm", "4000", "--count", "2"},
            {{1352,
              {{0, le16(2024)},
               {2, {24}},
               {6, {6}},
               {F1_TELEMETRY_PLAYER + 16, le16(4000)},
               {F1_TELEMETRY_PLAYER + 20, le16(0)}}},
             {1349, {{6, {0}}}},
             {1239, {{6, {7}}, {F1_STATUS_PLAYER + 4, {1}}, {F1_STATUS_PLAYER + 17, le16(8000)}}},
             {1352, {{6, {6}}, {F1_TELEMETRY_PLAYER + 16, le16(4000)}}},
             {1349, {{6, {0}}}},
             {1239, {{6, {7}}, {F1_STATUS_PLAYER + 4, {1}}}}},
            "ogsend: sent 2 of 2 f1-24 frame(s) of three datagrams (1352, 1349 and 1239 "
            "bytes)"},
        GameCase{{"--game", "f1-25"},
                 {{1352, {{0, le16(2025)}, {2, {25}}, {6, {6}}}},
                  {1349, {{0, le16(2025)}, {6, {0}}}},
                  {1239, {{0, le16(2025)}, {6, {7}}, {F1_STATUS_PLAYER + 5, f32(110.0f)}}}},
                 "ogsend: sent 1 of 1 f1-25 frame(s) of three datagrams (1352, 1349 and 1239 "
                 "bytes)"},
        // Forza: IsRaceOn, EngineMaxRpm, CurrentEngineRpm, CarOrdinal, Fuel.
        GameCase{{"--game", "forza-sled", "--car", "2352", "--rpm", "7000", "--max", "7500"},
                 {{232, {{0, le32(1)}, {8, f32(7500.0f)}, {16, f32(7000.0f)}, {212, le32(2352)}}}},
                 "ogsend: sent 1 of 1 forza-sled datagram(s) of 232 bytes"},
        GameCase{{"--game", "forza-dash", "--fuel", "0.5"},
                 {{311, {{0, le32(1)}, {8, f32(8000.0f)}, {212, le32(1000)}, {276, f32(0.5f)}}}},
                 "ogsend: sent 1 of 1 forza-dash datagram(s) of 311 bytes"},
        GameCase{{"--game", "forza-motorsport", "--fuel", "0.5", "--car", "999999"},
                 {{331, {{0, le32(1)}, {212, le32(999999)}, {276, f32(0.5f)}}}},
                 "ogsend: sent 1 of 1 forza-motorsport datagram(s) of 331 bytes"},
        GameCase{{"--game", "forza-horizon", "--fuel", "0.5", "--rpm", "5000"},
                 {{324, {{0, le32(1)}, {16, f32(5000.0f)}, {276, le32(0)}, {288, f32(0.5f)}}}},
                 "ogsend: sent 1 of 1 forza-horizon datagram(s) of 324 bytes"},
        // DiRT: engine rate (field 37) and max rpm (63) in rad/s, as the game sends 800 and
        // 7000 rpm; fuel in tank (45) and capacity (46).
        GameCase{{"--game", "dirt", "--rpm", "800", "--max", "7000", "--fuel", "0.5"},
                 {{264,
                   {{4 * 37, f32(83.77580261230469f)},
                    {4 * 63, f32(733.03826904296875f)},
                    {4 * 45, f32(30.0f)},
                    {4 * 46, f32(60.0f)}}}},
                 "ogsend: sent 1 of 1 dirt datagram(s) of 264 bytes"},
        // AMS2: packet type, sCarFlags (bit 0 headlight, 1 engine active, 2 engine warning,
        // 3 limiter, 4 ABS, 5 handbrake), sFuelLevel, sRpm, sMaxRpm. Each light is in a
        // different set of the three rows.
        GameCase{
            {"--game", "ams2", "--flags", "fullbeam,limiter,handbrake"},
            {{556, {{10, {0}}, {17, {0x29}}, {32, f32(1.0f)}, {40, le16(0)}, {42, le16(8000)}}}},
            "ogsend: sent 1 of 1 ams2 datagram(s) of 556 bytes"},
        GameCase{
            {"--game", "ams2", "--flags", "oilwarn,limiter", "--rpm", "3000", "--fuel", "0.25"},
            {{556, {{17, {0x0E}}, {32, f32(0.25f)}, {40, le16(3000)}}}},
            "ogsend: sent 1 of 1 ams2 datagram(s) of 556 bytes"},
        GameCase{{"--game", "ams2", "--flags", "abs,handbrake", "--rpm", "65535", "--max", "65535"},
                 {{556, {{17, {0x32}}, {40, le16(65535)}, {42, le16(65535)}}}},
                 "ogsend: sent 1 of 1 ams2 datagram(s) of 556 bytes"}),
    [](const testing::TestParamInfo<GameCase> &info) {
        std::string n = info.param.args[1] + "_" + std::to_string(info.index);
        for (char &ch : n)
            if (ch == '-')
                ch = '_';
        return n;
    });

// A scenario in a game's format: its lights where the game has them (F1's pit limiter in Car
// Status), its car changes in a Forza format's car ordinal.
TEST(Ogsend, ScenariosPlayInTheGamesFormat)
{
    {
        Receiver rx;
        SendRun run = runOgsend(scenarioArgs(rx, "limiter", {"--game", "f1-24"}));
        ASSERT_EQ(run.status, 0);
        EXPECT_EQ(stepLines(run), (std::vector<std::string>{"limiter on", "limiter off"}));
        ASSERT_TRUE(rx.waitFor(450, 10000));
        std::vector<Received> got = rx.take();
        ASSERT_EQ(got.size(), 450u);
        for (std::size_t i = 0; i < got.size(); ++i) {
            // Car Telemetry, Motion, Car Status; the limiter on for 100 frames, off for 50.
            const unsigned char id[] = {6, 0, 7};
            ASSERT_EQ(got[i].bytes[6], id[i % 3]) << i;
            if (i % 3 == 2) {
                ASSERT_EQ(got[i].bytes[F1_STATUS_PLAYER + 4], i / 3 < 100 ? 1 : 0) << i;
            }
        }
    }
    {
        Receiver rx;
        SendRun run = runOgsend(scenarioArgs(rx, "car-change", {"--game", "forza-horizon"}));
        ASSERT_EQ(run.status, 0);
        EXPECT_EQ(stepLines(run),
                  (std::vector<std::string>{"car 2000", "car 1000", "car 2000", "car 1000"}));
        ASSERT_TRUE(rx.waitFor(200, 10000));
        std::vector<Received> got = rx.take();
        ASSERT_EQ(got.size(), 200u);
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(wordAt(got[i].bytes.data(), 212), i / 50 % 2 == 0 ? 2000u : 1000u) << i;
    }
}

TEST(Ogsend, RpmSweepClimbsTo8000AndFallsBackTo1000)
{
    Receiver rx;
    SendRun run = runOgsend(scenarioArgs(rx, "rpm-sweep"));
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(stepLines(run), (std::vector<std::string>{"rpm 1000 -> 8000", "rpm 8000 -> 1000"}));
    ASSERT_TRUE(rx.waitFor(300, 10000));
    std::vector<Received> got = rx.take();
    ASSERT_EQ(got.size(), 300u);
    EXPECT_FLOAT_EQ(got.front().rpm, 1000.0f);
    EXPECT_FLOAT_EQ(got[149].rpm, 8000.0f);
    EXPECT_FLOAT_EQ(got.back().rpm, 1000.0f);
    for (std::size_t i = 1; i < 150; ++i)
        ASSERT_GT(got[i].rpm, got[i - 1].rpm) << i;
    for (std::size_t i = 151; i < got.size(); ++i)
        ASSERT_LT(got[i].rpm, got[i - 1].rpm) << i;
    // Crosses the thresholds a configuration typically uses, in small steps.
    for (std::size_t i = 1; i < got.size(); ++i)
        ASSERT_LT(std::abs(got[i].rpm - got[i - 1].rpm), 100.0f) << i;
    for (const Received &r : got)
        EXPECT_EQ(r.lights, 0u);
}

TEST(Ogsend, LowFuelDrainsBelowTheDefaultThresholdAndRefuels)
{
    Receiver rx;
    SendRun run = runOgsend(scenarioArgs(rx, "low-fuel", {"--car", "FBM"}));
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(stepLines(run),
              (std::vector<std::string>{"fuel draining 0.10 -> 0.02 (below 0.05 halfway)",
                                        "fuel 0.02 (low)", "refuelled (fuel 0.60)"}));
    ASSERT_TRUE(rx.waitFor(325, 10000));
    std::vector<Received> got = rx.take();
    ASSERT_EQ(got.size(), 325u);
    EXPECT_FLOAT_EQ(got.front().fuel, 0.10f);
    std::size_t firstLow = 0;
    while (firstLow < got.size() && !(got[firstLow].fuel < 0.05f))
        ++firstLow;
    EXPECT_GT(firstLow, 50u);  // a while above the threshold...
    EXPECT_LT(firstLow, 200u); // ...then below it
    EXPECT_FLOAT_EQ(got[199].fuel, 0.02f);
    EXPECT_FLOAT_EQ(got[274].fuel, 0.02f);
    EXPECT_FLOAT_EQ(got.back().fuel, 0.60f);
    for (const Received &r : got)
        EXPECT_EQ(r.car, "FBM");
}

// The whole drive: every scenario's steps in order, a lit state, then 3 s without datagrams.
TEST(Ogsend, DriveEndsWithThreeSecondsOfSilence)
{
    Receiver rx;
    SendRun run = runOgsend(
        {"--scenario", "drive", "--port", std::to_string(rx.port), "--rate", "20"}, 120000);
    long long endedAt = testNowMs();
    ASSERT_EQ(run.status, 0);
    std::vector<std::string> steps = stepLines(run);
    ASSERT_EQ(steps.size(), 23u);
    EXPECT_EQ(steps.front(), "rpm 1000 -> 8000");
    EXPECT_EQ(steps[8], "limiter on");
    EXPECT_EQ(steps.back(), "silence for 3 s (the LEDs switch off after 2 s)");
    std::vector<Received> got = rx.take();
    ASSERT_FALSE(got.empty());
    EXPECT_GE(endedAt - got.back().atMs, 2500);
    EXPECT_EQ(stretches(got).back().car, "XRT");
    // The silence switches off LEDs that were lit: the last state has shift light and limiter.
    EXPECT_EQ(got.back().lights, OG_DL_SHIFT | OG_DL_PITSPEED);
}

TEST(Ogsend, HoldSendsOneStateForTheGivenSeconds)
{
    Receiver rx;
    SendRun run =
        runOgsend({"--hold", "--seconds", "1", "--rate", "40", "--port", std::to_string(rx.port),
                   "--car", "XRT", "--flags", "shift,limiter", "--rpm", "7000", "--fuel", "0.04"});
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_NE(run.lines[0].find("lights 0x0009, rpm 7000, fuel 0.04"), std::string::npos)
        << run.lines[0];
    ASSERT_TRUE(rx.waitFor(40, 10000));
    std::vector<Received> got = rx.take();
    EXPECT_EQ(got.size(), 40u);
    for (const Received &r : got) {
        EXPECT_EQ(r.size, OG_PACKET_SIZE);
        EXPECT_EQ(r.car, "XRT");
        // As today's senders: the units in the flags word, the lights in words of their own.
        EXPECT_EQ(r.flags, 0xC000);
        EXPECT_EQ(r.available, 0x7FFu);
        EXPECT_EQ(r.lights, 0x9u);
        EXPECT_FLOAT_EQ(r.rpm, 7000.0f);
        EXPECT_FLOAT_EQ(r.fuel, 0.04f);
    }
}

// The earlier layout's lights in the flags word; a mod car's SkinID and the fields that one
// sender appends, in the current layout.
TEST(Ogsend, LayoutsModCarsAndLongerDatagrams)
{
    Receiver rx;
    const std::string port = std::to_string(rx.port);
    SendRun run = runOgsend({"--port", port, "--car", "XRT", "--flags", "shift,limiter,redline",
                             "--layout", "earlier"});
    ASSERT_EQ(run.status, 0);
    run = runOgsend(
        {"--port", port, "--car", "5882e6", "--flags", "abs,battery,0x80", "--size", "112"});
    ASSERT_EQ(run.status, 0);
    ASSERT_TRUE(rx.waitFor(2, 10000));
    std::vector<Received> got = rx.take();
    ASSERT_EQ(got.size(), 2u);

    EXPECT_EQ(got[0].flags, 0x0109);
    EXPECT_EQ(got[0].available, 0u);
    EXPECT_EQ(got[0].lights, 0u);

    ASSERT_EQ(got[1].size, 112u);
    EXPECT_EQ(std::vector<unsigned char>(got[1].head.begin() + 4, got[1].head.begin() + 8),
              (std::vector<unsigned char>{0xE6, 0x82, 0x58, 0x00}));
    EXPECT_EQ(got[1].flags, 0xC000);
    EXPECT_EQ(got[1].available, 0x7FFu);
    EXPECT_EQ(got[1].lights, 0x680u);
    // Gear mode, cruise speed, cruise mode, a fuel capacity of 60.0f, then zeros.
    const std::vector<unsigned char> trailer = {0, 0,    0,    0,    0,    0, 0, 0,
                                                0, 0x00, 0x00, 0x70, 0x42, 0, 0, 0};
    EXPECT_EQ(std::vector<unsigned char>(got[1].head.begin() + 96, got[1].head.end()), trailer);
}

TEST(Ogsend, HoldRunsUntilCtrlCAndThenEndsCleanly)
{
    Receiver rx;
    TestProcess proc;
    ASSERT_TRUE(processStart(proc, LUMIVANE_OGSEND,
                             {"--hold", "--port", std::to_string(rx.port), "--car", "XRT"}, ""));
    std::string line;
    ASSERT_TRUE(processReadLine(proc, line, 10000));
    EXPECT_NE(line.find("until Ctrl+C"), std::string::npos) << line;
    ASSERT_TRUE(rx.waitFor(20, 10000));
    // Without --fuel the tank is full.
    EXPECT_FLOAT_EQ(rx.take().front().fuel, 1.0f);
    EXPECT_TRUE(processAlive(proc));
    kill(proc.pid, SIGINT);
    ASSERT_TRUE(processReadLine(proc, line, 10000));
    EXPECT_EQ(line.rfind("ogsend: stopped; sent ", 0), 0u) << line;
    int status = processStop(proc, 0, 10000);
    ASSERT_NE(status, -1);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    close(proc.outFd);
}

TEST(Ogsend, BadArgumentsAreRefusedWithStatus2)
{
    const struct {
        const char *args;
        const char *message;
    } cases[] = {
        {"--scenario bogus", "ogsend: unknown scenario 'bogus' (see 'ogsend --list')"},
        {"--scenario", "ogsend: option '--scenario' needs a value"},
        {"--scenario limiter --flags shift", "ogsend: --flags cannot be used with --scenario"},
        {"--rpm 5000 --scenario shift", "ogsend: --rpm cannot be used with --scenario"},
        {"--scenario shift --hold", "ogsend: --hold cannot be used with --scenario"},
        {"--hold --scenario shift", "ogsend: --scenario cannot be used with --hold"},
        {"--hold --count 5", "ogsend: --count cannot be used with --hold"},
        {"--scenario shift --seconds 5", "ogsend: --seconds cannot be used with --scenario"},
        {"--seconds 0", "ogsend: bad duration '0' (seconds, above 0)"},
        {"--seconds x", "ogsend: bad duration 'x'"},
        {"--hold=yes", "ogsend: option '--hold' takes no value"},
        {"--car TOOLONG", "ogsend: car name 'TOOLONG' is longer than 4 characters"},
        {"limiter", "ogsend: unknown option 'limiter'"},
        {"--port 0", "ogsend: bad port '0' (1 to 65535)"},
        {"--size 65508", "ogsend: bad size '65508' (0 to 65507)"},
        {"--rate 0", "ogsend: bad rate '0' (datagrams per second, above 0)"},
        {"--flags shift,bogus", "ogsend: bad flags 'shift,bogus'"},
        {"--flags redline", "ogsend: today's layout has no light 'redline' (--layout earlier)"},
        {"--flags abs --layout earlier", "ogsend: the earlier layout has no light 'abs'"},
        {"--layout earlier --flags 0x10000", "ogsend: bad flags '0x10000'"},
        {"--layout old", "ogsend: bad layout 'old' (current or earlier)"},
        {"--car 5882E6X", "ogsend: car name '5882E6X' is longer than 4 characters"},
        // What a game cannot carry, whatever the order; and OutGauge's own.
        {"--game bogus", "ogsend: unknown game 'bogus' (the games: outgauge, f1-23, f1-24, "
                         "f1-25, forza-sled, forza-dash, forza-motorsport, forza-horizon, dirt, "
                         "ams2)"},
        {"--game forza-sled --fuel 0.5", "ogsend: --fuel: forza-sled sends no fuel"},
        {"--car 3 --game f1-24", "ogsend: --car: f1-24 sends no car names"},
        {"--game dirt --car 3", "ogsend: --car: dirt sends no car names"},
        {"--game ams2 --car 3", "ogsend: --car: ams2 sends no car names"},
        {"--game forza-horizon --flags shift", "ogsend: --flags: forza-horizon sends no lights"},
        {"--game dirt --flags shift", "ogsend: --flags: dirt sends no lights"},
        {"--game f1-25 --size 96", "ogsend: --size: f1-25 sends datagrams of the game's own"},
        {"--id 1 --game ams2", "ogsend: --id: ams2 sends no identifier"},
        {"--game forza-dash --layout current", "ogsend: --layout: forza-dash has no layouts"},
        {"--max 9000", "ogsend: --max: outgauge sends no maximum engine speed"},
        {"--game f1-23 --flags abs", "ogsend: --flags: f1-23 has no light 'abs' (its lights: "
                                     "shift, pitspeed)"},
        {"--game ams2 --flags shift", "ogsend: --flags: ams2 has no light 'shift'"},
        {"--game ams2 --flags 0x08", "ogsend: --flags: ams2 has no light '0x08'"},
        {"--game f1-24 --rpm 65536", "ogsend: --rpm: f1-24 sends engine speeds of 0 to 65535"},
        {"--game ams2 --max 65536", "ogsend: --max: ams2 sends engine speeds of 0 to 65535"},
        {"--game forza-dash --car XRT", "ogsend: --car: forza-dash takes a car ordinal"},
        {"--car 1000000 --game forza-motorsport",
         "ogsend: --car: forza-motorsport takes a car ordinal"},
        {"--car 12345", "ogsend: car name '12345' is longer than 4 characters"},
        {"--game dirt --scenario car-change",
         "ogsend: --scenario car-change: dirt sends no car names"},
    };
    for (const auto &c : cases) {
        ShellRun r = shellOgsend(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find("Try 'ogsend --help'."), std::string::npos) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

TEST(Ogsend, ListAndHelpDescribeEveryScenarioAndOption)
{
    ShellRun list = shellOgsend("--list");
    EXPECT_EQ(list.status, 0);
    // One line per scenario: its name, then what it does.
    std::vector<std::string> names;
    std::size_t pos = 0;
    while (pos < list.out.size()) {
        std::size_t nl = list.out.find('\n', pos);
        std::string line = list.out.substr(pos, nl - pos);
        std::size_t space = line.find(' ');
        names.push_back(line.substr(0, space));
        EXPECT_GT(line.size(), space + 5) << line;
        pos = nl == std::string::npos ? list.out.size() : nl + 1;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"rpm-sweep", "shift", "limiter", "signals",
                                               "low-fuel", "car-change", "drive"}));

    ShellRun help = shellOgsend("--help");
    EXPECT_EQ(help.status, 0);
    for (const char *opt :
         {"--host", "--port", "--rate", "--size", "--id", "--car", "--flags", "--rpm", "--fuel",
          "--count", "--hold", "--seconds", "--scenario", "--list", "--help", "--game", "--max"})
        EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
    for (const char *game : {"outgauge", "f1-23", "f1-24", "f1-25", "forza-sled", "forza-dash",
                             "forza-motorsport", "forza-horizon", "dirt", "ams2"})
        EXPECT_NE(help.out.find(game), std::string::npos) << game;
}

// --flags has a name for each light that a code shows without flashing, and for nothing else;
// no name stands for two lights.
TEST(Ogsend, FlagNamesCoverEveryLightOfTheActionTable)
{
    std::set<std::string> names;
    for (const SendLightName &row : SEND_LIGHT_NAMES) {
        const LedActionInfo &a = LED_ACTIONS[row.code];
        EXPECT_EQ(row.name != nullptr, a.test == LED_TEST_LIGHT && a.flash == LED_FLASH_NONE)
            << row.code;
        for (const char *name : {row.name, row.alias}) {
            if (name != nullptr) {
                EXPECT_TRUE(names.insert(name).second) << name;
            }
        }
    }
}
