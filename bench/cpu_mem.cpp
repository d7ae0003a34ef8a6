// CPU time and peak memory of the real binary, fed at 100 datagrams a second and idle, each
// beside the floor program (a loop of nothing but the 10 ms pause) run over the same window.
//   cpu_mem [--window SECONDS] [--repeats N] [--rate HZ]
#include "bench/harness.h"
#include "support/test_support.h"
#include "support/process.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct RunFigures {
    double programMs = 0; // CPU time within the window
    double floorMs = 0;
    long programHwmKib = 0;
    long floorHwmKib = 0;
    long reports = 0; // reports written within the window
};

// Keeps the FIFO of the device node from filling up (a full one would block the
// program's writes) and counts the reports while counting is set. It reads every 200 ms
// instead of waiting in poll: a waiting reader would be woken by every write, and that
// wake-up would be charged to the program's CPU time although a real device has no reader.
std::mutex g_drainLock;

// Reads every report that is waiting, counting them while counting is set.
void drainOnce(int fd, std::atomic<bool> *counting, std::atomic<long> *count)
{
    std::lock_guard<std::mutex> hold(g_drainLock);
    unsigned char r[8 * 64];
    ssize_t n;
    while ((n = read(fd, r, sizeof r)) > 0) {
        if (counting->load())
            count->fetch_add(n / 8);
    }
}

void drainReports(int fd, std::atomic<bool> *stop, std::atomic<bool> *counting,
                  std::atomic<long> *count)
{
    while (!stop->load()) {
        drainOnce(fd, counting, count);
        usleep(200000);
    }
}

bool runOnce(bool fed, double windowS, double rate, RunFigures *out)
{
    int port = testFreeUdpPort();
    std::string dir = benchMakeConfigDir(fed ? "cpu-fed" : "cpu-idle", port);
    int reportFd = benchOpenReports();
    TestUdp sender;
    if (reportFd < 0 || !sender.ok()) {
        std::printf("cpu_mem: cannot open the device node or the sender\n");
        return false;
    }
    std::atomic<bool> stop{false}, counting{false};
    std::atomic<long> reports{0};
    std::thread drain(drainReports, reportFd, &stop, &counting, &reports);

    TestProcess program, floor;
    bool ok = processStart(program, LUMIVANE_BINARY, {}, dir) &&
              processStart(floor, LUMIVANE_FLOOR, {}, dir);
    std::string line;
    while (ok && processReadLine(program, line, 10000) && line != "Ready for OutGauge data") {
    }
    ok = ok && line == "Ready for OutGauge data";
    if (!ok)
        std::printf("cpu_mem: the program did not start:\n%s", program.all.c_str());

    // One second to settle (start-up done, the first datagram's car loaded), then the window.
    const std::int64_t period = static_cast<std::int64_t>(1e9 / rate);
    const std::int64_t settle = 1000000000;
    const std::int64_t window = static_cast<std::int64_t>(windowS * 1e9);
    std::int64_t start = testNowNs();
    std::int64_t t0 = start + settle, t1 = t0 + window;
    std::int64_t programCpu0 = 0, floorCpu0 = 0;
    bool windowOpen = false;
    long k = 0;
    while (ok) {
        std::int64_t next = fed ? start + k * period : t1;
        if (!windowOpen && t0 <= next) {
            benchSleepUntil(t0);
            programCpu0 = benchCpuNs(program.pid);
            floorCpu0 = benchCpuNs(floor.pid);
            drainOnce(reportFd, &counting, &reports);
            counting.store(true);
            windowOpen = true;
        }
        if (next >= t1) {
            benchSleepUntil(t1);
            break;
        }
        benchSleepUntil(next);
        benchSendState(sender, port, static_cast<int>(k % 4), static_cast<std::int32_t>(k));
        ++k;
    }
    if (ok) {
        std::int64_t programCpu1 = benchCpuNs(program.pid);
        std::int64_t floorCpu1 = benchCpuNs(floor.pid);
        drainOnce(reportFd, &counting, &reports);
        counting.store(false);
        out->programMs = static_cast<double>(programCpu1 - programCpu0) / 1e6;
        out->floorMs = static_cast<double>(floorCpu1 - floorCpu0) / 1e6;
        out->programHwmKib = benchPeakRssKib(program.pid);
        out->floorHwmKib = benchPeakRssKib(floor.pid);
        out->reports = reports.load();
        ok = programCpu0 >= 0 && floorCpu0 >= 0 && programCpu1 >= 0 && floorCpu1 >= 0;
    }
    if (program.pid > 0) {
        kill(program.pid, SIGINT);
        processStop(program, SIGKILL, 5000);
    }
    if (floor.pid > 0)
        processStop(floor, SIGKILL, 5000);
    stop.store(true);
    drain.join();
    close(reportFd);
    return ok;
}

struct Spread {
    double median, min, max;
};

Spread spreadOf(const std::vector<double> &v)
{
    return {benchMedian(v), *std::min_element(v.begin(), v.end()),
            *std::max_element(v.begin(), v.end())};
}

} // namespace

int main(int argc, char **argv)
{
    double windowS = 60.0;
    long repeats = 3;
    double rate = 100.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--window") == 0)
            windowS = std::strtod(argv[i + 1], nullptr);
        else if (std::strcmp(argv[i], "--repeats") == 0)
            repeats = std::strtol(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::strtod(argv[i + 1], nullptr);
    }
    if (windowS <= 0 || repeats < 1 || rate <= 0) {
        std::fprintf(stderr, "usage: cpu_mem [--window SECONDS] [--repeats N] [--rate HZ]\n");
        return 2;
    }
    std::string why;
    if (!benchEnterNamespace(&why)) {
        std::printf("cpu_mem: skipped: %s\n", why.c_str());
        return 0;
    }

    long hwmMax = 0, floorHwmMax = 0;
    for (int fed = 1; fed >= 0; --fed) {
        const char *name = fed ? "fed" : "idle";
        std::vector<double> ratios, programMs, floorMs;
        for (long r = 0; r < repeats; ++r) {
            RunFigures f;
            if (!runOnce(fed != 0, windowS, rate, &f))
                return 1;
            double ratio = f.floorMs > 0 ? f.programMs / f.floorMs : 0.0;
            std::printf("cpu_mem: %-4s run %ld: %.0f s window, program %.1f ms CPU, floor %.1f ms "
                        "CPU, ratio %.2f, %ld reports (%.1f/s), peak RSS %ld KiB (floor %ld KiB)\n",
                        name, r + 1, windowS, f.programMs, f.floorMs, ratio, f.reports,
                        static_cast<double>(f.reports) / windowS, f.programHwmKib, f.floorHwmKib);
            std::fflush(stdout);
            ratios.push_back(ratio);
            programMs.push_back(f.programMs);
            floorMs.push_back(f.floorMs);
            hwmMax = std::max(hwmMax, f.programHwmKib);
            floorHwmMax = std::max(floorHwmMax, f.floorHwmKib);
        }
        Spread ratio = spreadOf(ratios), p = spreadOf(programMs), fl = spreadOf(floorMs);
        std::printf("cpu_mem: %s: ratio median %.2f (%.2f-%.2f); CPU per 10 s: program %.1f ms, "
                    "floor %.1f ms (medians)\n",
                    name, ratio.median, ratio.min, ratio.max, p.median * 10 / windowS,
                    fl.median * 10 / windowS);
        std::printf("RESULT cpu_%s_ratio %.2f\nRESULT cpu_%s_ratio_min %.2f\n"
                    "RESULT cpu_%s_ratio_max %.2f\nRESULT cpu_%s_program_ms_per_10s %.1f\n"
                    "RESULT cpu_%s_floor_ms_per_10s %.1f\n",
                    name, ratio.median, name, ratio.min, name, ratio.max, name,
                    p.median * 10 / windowS, name, fl.median * 10 / windowS);
    }
    std::printf("RESULT cpu_window_s %.0f\nRESULT cpu_repeats %ld\n", windowS, repeats);
    std::printf("RESULT rss_peak_kib %ld\nRESULT rss_floor_kib %ld\n", hwmMax, floorHwmMax);
    return 0;
}
