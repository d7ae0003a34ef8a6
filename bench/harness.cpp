// Shared parts of the end-to-end benchmarks: namespace, stand-in device, sender, process figures.
#include "bench/harness.h"

#include "hid/hid.h"
#include "outgauge/packet.h"
#include "support/hidraw_tree.h"
#include "support/test_support.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

bool benchEnterNamespace(std::string *why)
{
    if (geteuid() != 0) {
        *why = "needs root (a private mount namespace with a stand-in /sys and /dev)";
        return false;
    }
    if (unshare(CLONE_NEWNS) != 0) {
        *why = std::string("cannot make a mount namespace: ") + std::strerror(errno);
        return false;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("lvsys", "/sys", "tmpfs", 0, "mode=0755") != 0 ||
        mount("lvdev", "/dev", "tmpfs", 0, "mode=0755") != 0) {
        *why = std::string("cannot mount in the namespace: ") + std::strerror(errno);
        return false;
    }
    mkdir("/sys/class", 0755);
    mkdir("/sys/class/hidraw", 0755);
    mknod("/dev/null", S_IFCHR | 0666, makedev(1, 3));
    mknod("/dev/zero", S_IFCHR | 0666, makedev(1, 5));
    mknod("/dev/urandom", S_IFCHR | 0666, makedev(1, 9));
    if (!hidrawLayoutDevice("/sys", "/dev", 0, 3, HID_VENDOR_ID, 0xCA03, HIDRAW_NODE_FIFO)) {
        *why = "cannot lay out the stand-in device";
        return false;
    }
    return true;
}

std::string benchMakeConfigDir(const std::string &tag, int port)
{
    std::string dir = testTempDir(tag);
    testWriteFile(dir + "/lumivane.cfg", "[config]\noutGaugePort=" + std::to_string(port) +
                                             "\n[default]\nLED1=1\nLED2=3\n");
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

int benchSenderOpen(int port)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool benchSendState(int fd, int state, std::int32_t id)
{
    OutGaugePacket p = testPacket("BNCH", benchStateFlags(state), 3000.0f, 0.5f);
    ogPacketSetId(p, id);
    return send(fd, p.bytes, sizeof p.bytes, 0) == static_cast<ssize_t>(sizeof p.bytes);
}

int benchOpenReports() { return open("/dev/hidraw0", O_RDONLY | O_NONBLOCK | O_CLOEXEC); }

std::int64_t benchNowNs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void benchSleepUntil(std::int64_t t)
{
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(t / 1000000000);
    ts.tv_nsec = static_cast<long>(t % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
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
