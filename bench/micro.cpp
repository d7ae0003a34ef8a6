// Micro-benchmarks of the work done per datagram and per car change: the four LED codes of a
// profile on one datagram, the profile of a car from a real file, and one drain of the receiver;
// and of the work done once a second while something is missing: one search for the device,
// one look at the configuration file.
#include "app/clock.h"
#include "app/clock_backend.h"
#include "rules/config.h"
#include "rules/led.h"
#include "app/loop.h"
#include "hid/hid_backend.h"
#include "outgauge/receiver.h"
#include "support/hidraw_tree.h"
#include "support/test_support.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// ----- LED codes: four codes of one kind on one datagram ------------------------------------

// A datagram on which every condition of the profile holds or not, so each code takes the
// path it takes in the car: shift light, limiter, signals and redline on, fuel low, 7500 rpm.
OutGaugePacket busyPacket()
{
    return testPacket("XRT", OG_SHIFT | OG_PITSPEED | OG_SIGNAL_L | OG_REDLINE, 7500.0f, 0.02f);
}

// The same lights as today's senders send them: in the lights words, the units in the flags.
OutGaugePacket busyCurrentPacket()
{
    OutGaugePacket p = testPacket("XRT", OG_KM | OG_BAR, 7500.0f, 0.02f);
    ogPacketSetLights(&p, OG_DL_SHARED, OG_DL_SHIFT | OG_DL_PITSPEED | OG_DL_SIGNAL_L);
    return p;
}

// ledEvaluate with the program's default flash times and its clock, as the loop calls it.
void evaluateWith(benchmark::State &state, CarProfile profile, bool current = false)
{
    const LedFlashTimes flashTimes = configFlashTimes(CONFIG_DEFAULTS);
    const AppClock clock = clockSystem();
    const LedTicks ticks = {clock.ticks, clock.context};
    OutGaugePacket p = current ? busyCurrentPacket() : busyPacket();
    for (auto _ : state) {
        LedStates states = ledEvaluate(profile, flashTimes, p, ticks);
        benchmark::DoNotOptimize(states);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ledEvaluate_bitCodes(benchmark::State &s)
{
    evaluateWith(s, {{1, 3, 5, 7}, 0.05f});
}
void BM_ledEvaluate_bitCodesCurrentLayout(benchmark::State &s)
{
    evaluateWith(s, {{1, 3, 5, 15}, 0.05f}, true);
}
void BM_ledEvaluate_rpmCodes(benchmark::State &s)
{
    evaluateWith(s, {{7000, 101, 8000, 150000}, 0.05f});
}
void BM_ledEvaluate_lowFuel(benchmark::State &s)
{
    evaluateWith(s, {{10, -10, 10, 10}, 0.05f});
}
void BM_ledEvaluate_flashingCodes(benchmark::State &s)
{
    evaluateWith(s, {{4, 12, 13, 12}, 0.05f});
}
void BM_ledEvaluate_invertedAndSecondary(benchmark::State &s)
{
    evaluateWith(s, {{-3, -14, -5, 14}, 0.05f});
}
void BM_ledEvaluate_flashWithSecondary(benchmark::State &s)
{
    evaluateWith(s, {{12, -12, 3, -3}, 0.05f});
}
void BM_ledEvaluate_allOff(benchmark::State &s)
{
    evaluateWith(s, {{0, 0, 0, 0}, 0.0f});
}

// The clock read that each flashing code whose condition holds makes.
void BM_clockTicks(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(clockSystemTicks());
}

BENCHMARK(BM_ledEvaluate_bitCodes);
BENCHMARK(BM_ledEvaluate_bitCodesCurrentLayout);
BENCHMARK(BM_ledEvaluate_rpmCodes);
BENCHMARK(BM_ledEvaluate_lowFuel);
BENCHMARK(BM_ledEvaluate_flashingCodes);
BENCHMARK(BM_ledEvaluate_invertedAndSecondary);
BENCHMARK(BM_ledEvaluate_flashWithSecondary);
BENCHMARK(BM_ledEvaluate_allOff);
BENCHMARK(BM_clockTicks);

// ----- Car change: the profile of a car from a small real file ------------------------------

std::string g_configPath;

const char g_config[] = "; LED settings per car\n"
                        "[config]\n"
                        "outGaugePort=56551\n"
                        "deviceID=0xCA03\n"
                        "shiftlightFlashTime=150\n"
                        "\n"
                        "[default]\n"
                        "LED1=12\n"
                        "LED2=-3\n"
                        "LED1b=0\n"
                        "LED2b=0\n"
                        "lowFuel=0.08\n"
                        "\n"
                        "[UF1]\nLED1=1\nLED2=13\nlowFuel=0.1\n"
                        "[XFG]\nLED1=12\nLED2=5\nLED2b=-6\n"
                        "[XRG]\nLED1=7200\nLED2=3\n"
                        "[FXO]\nLED1=12\nLED2=4\nLED1b=-7\n"
                        "[XRT]\nLED1=12\nLED2=-3\nLED1b=-7\nLED2b=10\nlowFuel=0.06\n"
                        "[RB4]\nLED1=6900\nLED2=11\n"
                        "[FZR]\nLED1=8100\nLED2=13\nlowFuel=0.04\n";

const std::string &configFile()
{
    if (g_configPath.empty()) {
        g_configPath = testTempDir("bench-config") + "/lumivane.cfg";
        testWriteFile(g_configPath, g_config);
    }
    return g_configPath;
}

void resolve(benchmark::State &state, const char *car)
{
    const std::string &path = configFile();
    CarProfile out{};
    for (auto _ : state) {
        ProfileFile file;
        profileLoad(path.c_str(), &file);
        configResolveProfile(file, car, &out, nullptr);
        profileRelease(&file);
        benchmark::DoNotOptimize(out);
    }
    state.counters["bytes"] = static_cast<double>(sizeof g_config - 1);
}

// A car change: one read of the file, then a car whose section sets all four codes and the
// threshold: five lookups.
void BM_configResolveProfile_fullSection(benchmark::State &s)
{
    resolve(s, "XRT");
}
// A car with no section: five lookups find nothing, five more look in [default].
void BM_configResolveProfile_noSection(benchmark::State &s)
{
    resolve(s, "LX6");
}

BENCHMARK(BM_configResolveProfile_fullSection);
BENCHMARK(BM_configResolveProfile_noSection);

// ----- One ogRead draining n queued datagrams over loopback ---------------------------------

// The port of the receiver, opened on the first call; 0 when it cannot be opened.
int receiverPort()
{
    static const int port = [] {
        const int free = testFreeUdpPort();
        return ogInit(free) ? free : 0;
    }();
    return port;
}

void BM_ogRead(benchmark::State &state)
{
    const int port = receiverPort();
    if (port == 0) {
        state.SkipWithError("cannot open the receiver");
        return;
    }
    const int n = static_cast<int>(state.range(0));
    OutGaugePacket sent = busyPacket();
    OutGaugePacket got{};
    ogRead(&got); // anything left over from before
    std::int32_t seq = 0;
    long missed = 0;
    TestUdp sender;
    for (auto _ : state) {
        // Loopback delivers each datagram into the receiver's queue before send returns.
        for (int i = 0; i < n; ++i) {
            ogPacketSetId(&sent, ++seq);
            sender.send(port, sent);
        }
        auto t0 = std::chrono::steady_clock::now();
        bool accepted = ogRead(&got);
        auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        if (n > 0 && (!accepted || ogPacketId(got) != seq))
            ++missed;
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["missed"] = static_cast<double>(missed);
}

BENCHMARK(BM_ogRead)->Arg(0)->Arg(1)->Arg(10)->Arg(100)->UseManualTime();

// ----- Once a second while something is missing ---------------------------------------------

// One search for a device that is not there, among the hidraw devices of a desktop (keyboard,
// mouse, headset, game controllers: eight of other vendors and products), laid out as the
// kernel lays them out: every entry's uevent is read, nothing is opened.
void BM_hidSearchAbsent(benchmark::State &state)
{
    HidrawTree tree = hidrawTreeCreate("bench-hid");
    const HidPlaces places = hidrawTreePlaces(tree);
    const std::uint32_t others[][2] = {{0x046D, 0xC52B}, {0x046D, 0xC077}, {0x1532, 0x0084},
                                       {0x045E, 0x028E}, {0x054C, 0x09CC}, {0x0951, 0x16A4},
                                       {0x1B1C, 0x1B2E}, {0x046D, 0x0A87}};
    unsigned n = 0;
    for (const auto &ids : others)
        hidrawTreeAddDevice(tree, n++, 3, ids[0], ids[1], HIDRAW_NODE_FIFO);
    for (auto _ : state) {
        std::vector<std::string> found = hidSysEnumerate(places, 0xCA03);
        benchmark::DoNotOptimize(found);
    }
    hidrawTreeRemove(tree);
}
BENCHMARK(BM_hidSearchAbsent);

// One look at the configuration file for an edit.
void BM_configFileStamp(benchmark::State &state)
{
    const std::string &path = configFile();
    for (auto _ : state) {
        ConfigStamp stamp = configFileStamp(path.c_str());
        benchmark::DoNotOptimize(stamp);
    }
}
BENCHMARK(BM_configFileStamp);

} // namespace

BENCHMARK_MAIN();
