// The real lumivane binary as a user starts it, with a stand-in hidraw device laid over
// /sys and /dev in a private mount namespace, fed by the real datagram sender.
#include "support/hidraw_tree.h"
#include "support/process.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

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

// A private mount namespace with empty /sys and /dev of our own.
bool enterNamespace()
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

int freeUdpPort()
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        if (!g_skipReason.empty())
            GTEST_SKIP() << g_skipReason;
        clearDevices();
        dir = testTempDir("e2e");
        port = freeUdpPort();
    }
    void TearDown() override
    {
        if (proc.pid > 0)
            processStop(proc, SIGKILL, 5000);
        if (reportFd >= 0)
            close(reportFd);
    }

    // Every test starts with no hidraw device at all.
    static void clearDevices()
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

    void writeConfig(const std::string &extra)
    {
        testWriteFile(dir + "/lumivane.cfg",
                      "[config]\noutGaugePort=" + std::to_string(port) + "\n" + extra);
    }

    void addDevice(int n, unsigned vendor, unsigned product)
    {
        ASSERT_TRUE(hidrawLayoutDevice("/sys", "/dev", static_cast<unsigned>(n), 3, vendor, product,
                                       HIDRAW_NODE_FIFO));
    }

    void start()
    {
        ASSERT_TRUE(processStart(proc, LUMIVANE_BINARY, {}, dir));
    }

    // The next line of output, or a failure with what was printed so far.
    std::string line(int timeoutMs = 10000)
    {
        std::string l;
        if (!processReadLine(proc, l, timeoutMs))
            ADD_FAILURE() << "no line; output so far:\n" << proc.all;
        return l;
    }

    void expectLines(const std::vector<std::string> &lines)
    {
        for (const std::string &want : lines)
            EXPECT_EQ(line(), want);
    }

    void expectStartup(const std::string &deviceLine)
    {
        expectLines({"---------------------------------", " Lumivane v1.1 by Quillox",
                     "---------------------------------", "",
                     "Loading config " + dir + "/lumivane.cfg...",
                     "ogInit: Initializing OutGauge, port " + std::to_string(port) + "...",
                     "initHID: Initializing HID (Device ID 0xCA03)...HID GUID: 4D1E55B2",
                     deviceLine});
    }

    void openReports(int n)
    {
        reportFd = open(("/dev/hidraw" + std::to_string(n)).c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reportFd, 0);
    }

    // The next report the program writes, as its LED byte; -1 when none comes in time.
    int nextReport(int timeoutMs = 10000)
    {
        long long end = nowMs() + timeoutMs;
        while (nowMs() < end) {
            unsigned char r[8];
            ssize_t n = read(reportFd, r, sizeof r);
            if (n == 8) {
                EXPECT_EQ(r[0], 0x00);
                EXPECT_EQ(r[1], 0x09);
                for (int i = 3; i < 8; ++i)
                    EXPECT_EQ(r[i], 0x00);
                return r[2];
            }
            EXPECT_TRUE(n < 0) << "a report of " << n << " bytes";
            struct pollfd pfd = {reportFd, POLLIN, 0};
            poll(&pfd, 1, 50);
        }
        return -1;
    }

    // Waits for a report with the given LED byte, skipping others.
    bool waitReport(int leds, int timeoutMs = 10000)
    {
        long long end = nowMs() + timeoutMs;
        while (nowMs() < end) {
            int r = nextReport(static_cast<int>(end - nowMs()));
            if (r == leds)
                return true;
            if (r < 0)
                return false;
        }
        return false;
    }

    void send(const std::vector<std::string> &args)
    {
        std::vector<std::string> all = {"--port", std::to_string(port)};
        all.insert(all.end(), args.begin(), args.end());
        EXPECT_EQ(processRun(LUMIVANE_OGSEND, all, 20000), 0);
    }

    std::string dir;
    int port = 0;
    int reportFd = -1;
    TestProcess proc;
};

} // namespace

TEST_F(EndToEnd, StartsWithTheDeviceAndFollowsTheCar)
{
    addDevice(0, 0x046D, 0xCA03);
    writeConfig("[XRT]\nLED1=1\nLED2=3\n[default]\nLED1=14\n");
    openReports(0);
    start();
    expectStartup("initHID: Device found.");
    EXPECT_EQ(line(), "Ready for OutGauge data");

    // Without datagrams the idle rule writes all-off reports from the start.
    EXPECT_EQ(nextReport(), 0);

    send({"--car", "XRT", "--flags", "shift", "--count", "3", "--rate", "100"});
    EXPECT_EQ(line(), "Car: XRT");
    EXPECT_TRUE(waitReport(1));
    send({"--car", "XRT", "--flags", "shift,pitspeed", "--count", "3", "--rate", "100"});
    EXPECT_TRUE(waitReport(3));

    // Another car: its own section is missing, so [default] decides.
    send({"--car", "FZR", "--count", "3", "--rate", "100"});
    EXPECT_EQ(line(), "Car: FZR");
    EXPECT_TRUE(waitReport(1));

    // Silence for more than 2 s: the LEDs are switched off, again and again.
    EXPECT_TRUE(waitReport(0));
    EXPECT_EQ(nextReport(), 0);
    EXPECT_EQ(nextReport(), 0);
    EXPECT_TRUE(processAlive(proc));
}

TEST_F(EndToEnd, CtrlCPrintsTheShutdownTranscriptAndEndsBySigint)
{
    addDevice(0, 0x046D, 0xCA03);
    writeConfig("");
    start();
    expectStartup("initHID: Device found.");
    EXPECT_EQ(line(), "Ready for OutGauge data");
    kill(proc.pid, SIGINT);
    EXPECT_EQ(line(), "Shutdown...");
    EXPECT_EQ(line(), "ogClose: Closing OutGauge...");
    int status = processStop(proc, 0, 10000);
    ASSERT_NE(status, -1) << "still running after Ctrl+C";
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGINT);
}

TEST_F(EndToEnd, TerminateAndHangupEndTheProcessTheSameWay)
{
    for (int sig : {SIGTERM, SIGHUP}) {
        writeConfig("");
        start();
        expectStartup("initHID: Device not found.");
        expectLines({"HID init failed!", "ogClose: Closing OutGauge...", "Ready for OutGauge data"});
        kill(proc.pid, sig);
        EXPECT_EQ(line(), "Shutdown...");
        int status = processStop(proc, 0, 10000);
        ASSERT_NE(status, -1);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), sig);
        if (proc.outFd >= 0)
            close(proc.outFd);
        proc = TestProcess();
    }
}

TEST_F(EndToEnd, WithoutADeviceItReportsAndKeepsRunning)
{
    addDevice(0, 0x1234, 0xCA03);
    writeConfig("");
    start();
    expectStartup("initHID: Device not found.");
    expectLines({"HID init failed!", "ogClose: Closing OutGauge...", "Ready for OutGauge data"});
    // Datagrams are no longer read: nothing more is printed, and the program stays up.
    send({"--car", "XRT", "--count", "3"});
    std::string more;
    EXPECT_FALSE(processReadLine(proc, more, 1500)) << more;
    EXPECT_TRUE(processAlive(proc));
    kill(proc.pid, SIGINT);
    EXPECT_EQ(line(), "Shutdown...");
    int status = processStop(proc, 0, 10000);
    ASSERT_TRUE(status != -1 && WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGINT);
}

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    enterNamespace();
    return RUN_ALL_TESTS();
}
