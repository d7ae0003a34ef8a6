// The end-to-end harness shared by the tests of the real binary.
#include "support/e2e_fixture.h"

#include "support/hidraw_tree.h"
#include "support/test_support.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::string g_skipReason; // why the namespace could not be made, if it could not
} // namespace

bool e2eEnterNamespace()
{
    if (unshare(CLONE_NEWNS) != 0) {
        g_skipReason = std::string("cannot make a mount namespace: ") + std::strerror(errno);
        return false;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("lvsys", "/sys", "tmpfs", 0, "mode=0755") != 0 ||
        mount("lvdev", "/dev", "tmpfs", 0, "mode=0755") != 0) {
        g_skipReason = std::string("cannot mount in the namespace: ") + std::strerror(errno);
        return false;
    }
    mkdir("/sys/class", 0755);
    mkdir("/sys/class/hidraw", 0755);
    mknod("/dev/null", S_IFCHR | 0666, makedev(1, 3));
    return true;
}

const std::string &e2eSkipReason() { return g_skipReason; }

long long e2eNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void EndToEnd::SetUp()
{
    if (!g_skipReason.empty())
        GTEST_SKIP() << g_skipReason;
    clearDevices();
    dir = testTempDir("e2e");
    port = testFreeUdpPort();
}

void EndToEnd::TearDown()
{
    if (proc.pid > 0)
        processStop(proc, SIGKILL, 5000);
    if (proc.outFd >= 0)
        close(proc.outFd);
    if (reportFd >= 0)
        close(reportFd);
}

void EndToEnd::clearDevices()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const char *d : {"/sys/class/hidraw", "/sys/devices"}) {
        if (fs::exists(d, ec))
            for (const auto &e : fs::directory_iterator(d, ec))
                fs::remove_all(e.path(), ec);
    }
    for (const auto &e : fs::directory_iterator("/dev", ec))
        if (e.path().filename().string().rfind("hidraw", 0) == 0)
            fs::remove_all(e.path(), ec);
}

void EndToEnd::writeConfig(const std::string &extra)
{
    testWriteFile(dir + "/lumivane.cfg",
                  "[config]\noutGaugePort=" + std::to_string(port) + "\n" + extra);
}

void EndToEnd::addDevice(int n, unsigned vendor, unsigned product)
{
    ASSERT_TRUE(hidrawLayoutDevice("/sys", "/dev", static_cast<unsigned>(n), 3, vendor, product,
                                   HIDRAW_NODE_FIFO));
}

void EndToEnd::start() { ASSERT_TRUE(processStart(proc, LUMIVANE_BINARY, {}, dir)); }

std::string EndToEnd::line(int timeoutMs)
{
    std::string l;
    if (!processReadLine(proc, l, timeoutMs))
        ADD_FAILURE() << "no line; output so far:\n" << proc.all;
    return l;
}

bool EndToEnd::waitLine(const std::string &want, int timeoutMs)
{
    long long end = e2eNowMs() + timeoutMs;
    std::string l;
    while (processReadLine(proc, l, static_cast<int>(std::max(0LL, end - e2eNowMs())))) {
        if (l == want)
            return true;
    }
    ADD_FAILURE() << "no line '" << want << "'; output so far:\n" << proc.all;
    return false;
}

void EndToEnd::expectLines(const std::vector<std::string> &lines)
{
    for (const std::string &want : lines)
        EXPECT_EQ(line(), want);
}

void EndToEnd::expectStartup(const std::string &deviceLine)
{
    expectLines({"---------------------------------", " Lumivane v1.1 by Quillox",
                 "---------------------------------", "",
                 "Loading config " + dir + "/lumivane.cfg...",
                 "ogInit: Initializing OutGauge, port " + std::to_string(port) + "...",
                 "initHID: Initializing HID (Device ID 0xCA03)...HID GUID: 4D1E55B2", deviceLine});
}

void EndToEnd::openReports(int n)
{
    reportFd = open(("/dev/hidraw" + std::to_string(n)).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reportFd, 0);
}

int EndToEnd::nextReport(int timeoutMs)
{
    long long end = e2eNowMs() + timeoutMs;
    for (;;) {
        // The device is a byte stream here: reports are taken 8 bytes at a time.
        if (reportBuffer.size() >= 8) {
            const unsigned char *r = reinterpret_cast<const unsigned char *>(reportBuffer.data());
            EXPECT_EQ(r[0], 0x00);
            EXPECT_EQ(r[1], 0x09);
            for (int i = 3; i < 8; ++i)
                EXPECT_EQ(r[i], 0x00);
            int leds = r[2];
            reportBuffer.erase(0, 8);
            return leds;
        }
        char buf[512];
        ssize_t n = read(reportFd, buf, sizeof buf);
        if (n > 0) {
            reportBuffer.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        long long left = end - e2eNowMs();
        if (left <= 0)
            return -1;
        struct pollfd pfd = {reportFd, POLLIN, 0};
        poll(&pfd, 1, static_cast<int>(std::min(left, 50LL)));
    }
}

bool EndToEnd::waitReport(int leds, int timeoutMs)
{
    long long end = e2eNowMs() + timeoutMs;
    while (e2eNowMs() < end) {
        int r = nextReport(static_cast<int>(end - e2eNowMs()));
        if (r == leds)
            return true;
        if (r < 0)
            return false;
    }
    return false;
}

void EndToEnd::send(const std::vector<std::string> &args)
{
    std::vector<std::string> all = {"--port", std::to_string(port)};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_EQ(processRun(LUMIVANE_OGSEND, all, 20000), 0);
}

void EndToEnd::expectCleanCtrlC()
{
    ASSERT_TRUE(processAlive(proc)) << proc.all;
    kill(proc.pid, SIGINT);
    EXPECT_TRUE(waitLine("Shutdown..."));
    int status = processStop(proc, 0, 10000);
    ASSERT_NE(status, -1) << "still running after Ctrl+C";
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGINT);
}
