// The end-to-end harness shared by the tests of the real binary, and their main.
#include "support/e2e_fixture.h"

#include "support/hidraw_tree.h"
#include "support/test_support.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <unistd.h>

namespace {
std::string g_skipReason; // why the namespace could not be made, if it could not
} // namespace

void EndToEnd::SetUp()
{
    if (!g_skipReason.empty())
        GTEST_SKIP() << g_skipReason;
    // Every test starts with no hidraw device at all.
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

void EndToEnd::writeConfig(const std::string &extra)
{
    testWriteConfig(dir, testConfigText(port, extra));
}

void EndToEnd::addDevice(int n, unsigned vendor, unsigned product)
{
    ASSERT_TRUE(hidrawLayoutDevice("/sys", "/dev", static_cast<unsigned>(n), 3, vendor, product,
                                   HIDRAW_NODE_FIFO));
}

void EndToEnd::start(bool asNobody)
{
    if (proc.outFd >= 0)
        close(proc.outFd);
    proc = TestProcess();
    ASSERT_TRUE(processStart(proc, LUMIVANE_BINARY, {}, dir, asNobody));
}

std::string EndToEnd::line(int timeoutMs)
{
    std::string l;
    if (!processReadLine(proc, l, timeoutMs))
        ADD_FAILURE() << "no line; output so far:\n" << proc.all;
    return l;
}

bool EndToEnd::waitLine(const std::string &want, int timeoutMs)
{
    long long end = testNowMs() + timeoutMs;
    std::string l;
    while (processReadLine(proc, l, static_cast<int>(std::max(0LL, end - testNowMs())))) {
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

void EndToEnd::expectStartup(bool deviceFound, long long shownPort)
{
    expectLines(testStartupLines(dir + "/lumivane.cfg", shownPort == -1 ? port : shownPort));
    if (deviceFound)
        expectLines({"initHID: Device found.", "Ready for OutGauge data"});
    else
        expectLines({"initHID: Device not found.", "HID init failed!", "Ready for OutGauge data"});
}

void EndToEnd::startWithDevice(const std::string &extra)
{
    addDevice(0, 0x046D, 0xCA03);
    writeConfig(extra);
    openReports(0);
    start();
    expectStartup(true);
}

void EndToEnd::openReports(int n)
{
    reportFd = open(("/dev/hidraw" + std::to_string(n)).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reportFd, 0);
}

int EndToEnd::nextReport(int timeoutMs)
{
    long long end = testNowMs() + timeoutMs;
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
        long long left = end - testNowMs();
        if (left <= 0)
            return -1;
        struct pollfd pfd = {reportFd, POLLIN, 0};
        poll(&pfd, 1, static_cast<int>(std::min(left, 50LL)));
    }
}

bool EndToEnd::waitReport(int leds, int timeoutMs)
{
    long long end = testNowMs() + timeoutMs;
    while (testNowMs() < end) {
        int r = nextReport(static_cast<int>(end - testNowMs()));
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

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    hidrawEnterNamespace(&g_skipReason);
    return RUN_ALL_TESTS();
}
