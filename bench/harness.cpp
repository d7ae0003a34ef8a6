// Shared parts of the end-to-end benchmarks: namespace, stand-in device, sender, process figures.
#include "bench/harness.h"

#include "hid/hid.h"
#include "outgauge/packet.h"
#include "support/hidraw_tree.h"
#include "support/test_support.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <thread>
#include <unistd.h>

bool benchEnterNamespace(std::string *why)
{
    if (geteuid() != 0) {
        *why = "needs root (a private mount namespace with a stand-in /sys and /dev)";
        return false;
    }
    if (!hidrawEnterNamespace(why))
        return false;
    if (!hidrawLayoutDevice("/sys", "/dev", 0, 3, HID_VENDOR_ID, 0xCA03, HIDRAW_NODE_FIFO)) {
        *why = "cannot lay out the stand-in device";
        return false;
    }
    return true;
}

std::string benchMakeConfigDir(const std::string &tag, int port)
{
    std::string dir = testTempDir(tag);
    testWriteConfig(dir, testConfigText(port, "[default]\nLED1=1\nLED2=3\n"));
    return dir;
}

std::uint16_t benchStateFlags(int state)
{
    return static_cast<std::uint16_t>(((state & 1) ? OG_SHIFT : 0) |
                                      ((state & 2) ? OG_PITSPEED : 0));
}

int benchStateReportByte(int state)
{
    return hidBuildReport((state & 1) != 0, (state & 2) != 0).bytes[2];
}

bool benchSendState(TestUdp &out, int port, int state, std::int32_t id)
{
    OutGaugePacket p = testPacket("BNCH", benchStateFlags(state), 3000.0f, 0.5f);
    ogPacketSetId(&p, id);
    return out.send(port, p);
}

int benchOpenReports()
{
    return open("/dev/hidraw0", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

void benchSleepUntil(std::int64_t t)
{
    std::this_thread::sleep_until(
        std::chrono::steady_clock::time_point(std::chrono::nanoseconds(t)));
}

std::int64_t benchCpuNs(pid_t pid)
{
    // The process CPU clock sums the exact run time of every thread, in ns, where
    // utime and stime in /proc/PID/stat come in 10 ms ticks.
    clockid_t id;
    struct timespec ts;
    if (clock_getcpuclockid(pid, &id) != 0 || clock_gettime(id, &ts) != 0)
        return -1;
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

long benchPeakRssKib(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

double benchMedian(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double benchPercentile(std::vector<double> values, double p)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least p percent of the values at or below it.
    std::size_t rank = static_cast<std::size_t>(std::ceil(p / 100.0 * values.size()));
    return values[std::min(values.size(), std::max<std::size_t>(rank, 1)) - 1];
}
