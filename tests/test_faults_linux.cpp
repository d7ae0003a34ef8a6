// Faults met by the real binary: a device that goes away, a flood of datagrams, datagrams of
// every size, hostile configuration files, a long working directory and hostile car names.
#include "support/e2e_fixture.h"
#include "support/hidraw_tree.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A private pseudo-terminal instance in the namespace's /dev, for a device that can go away;
// empty when it is there, else why not.
std::string mountPts()
{
    static const std::string why = [] {
        mkdir("/dev/pts", 0755);
        if (mount("devpts", "/dev/pts", "devpts", 0, "newinstance,ptmxmode=0666,mode=0620") != 0)
            return std::string("cannot mount devpts: ") + std::strerror(errno);
        if (symlink("pts/ptmx", "/dev/ptmx") != 0)
            return std::string("cannot link /dev/ptmx: ") + std::strerror(errno);
        return std::string();
    }();
    return why;
}

// 2^32 times a large factor plus value, in decimal: far outside 32 (and 64) bits, yet
// the same as value in the low 32 bits.
std::string wrapsTo(long long value)
{
    unsigned __int128 n = static_cast<unsigned __int128>(1000000000000000000ULL) * 1000;
    n = (n << 32) + static_cast<unsigned __int128>(value);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(n % 10)));
        n /= 10;
    } while (n != 0);
    return digits;
}

// True when text holds a byte that a terminal could take as a control: below 0x20 other
// than the line end, DEL, or any byte from 0x80 on (8-bit controls such as 0x9B).
bool hasControlBytes(const std::string &text, std::size_t *at)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n') || c >= 0x7F) {
            *at = i;
            return true;
        }
    }
    return false;
}

class Faults : public EndToEnd {
protected:
    void TearDown() override
    {
        if (master >= 0) {
            if (reportFd == master)
                reportFd = -1;
            close(master);
        }
        if (slave >= 0)
            close(slave);
        EndToEnd::TearDown();
    }

    int master = -1;
    int slave = -1;
};

} // namespace

// The device is a pseudo-terminal here: its reader (the master) closing makes every later
// write fail, as writes to an unplugged device fail (with EIO here; hidraw answers ENODEV, and
// the program takes every failed write alike).
TEST_F(Faults, DeviceThatGoesAwayLeavesTheProgramRunning)
{
    if (!mountPts().empty())
        GTEST_SKIP() << mountPts();
    ASSERT_TRUE(hidrawLayoutDevice("/sys", "/dev", 0, 3, 0x046D, 0xCA03, HIDRAW_NODE_MISSING));
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0) << std::strerror(errno);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::string slavePath = ptsname(master);
    slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    // Both ends close on exec, so the program holds neither. Raw: the report bytes pass
    // unchanged.
    termios tio;
    ASSERT_EQ(tcgetattr(slave, &tio), 0);
    cfmakeraw(&tio);
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &tio), 0);
    ASSERT_EQ(symlink(slavePath.c_str(), "/dev/hidraw0"), 0);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    reportFd = master;

    writeConfig("[XRT]\nLED1=1\nLED2=14\n[FZR]\nLED1=14\n");
    start();
    expectStartup(true);
    EXPECT_EQ(nextReport(), 0);
    send({"--car", "XRT", "--flags", "shift", "--count", "3", "--rate", "100"});
    EXPECT_EQ(line(), "Car: XRT");
    EXPECT_TRUE(waitReport(3));

    // The device goes away; writes to it now fail.
    close(master);
    master = -1;
    reportFd = -1;
    const unsigned char probe[8] = {0, 9, 0, 0, 0, 0, 0, 0};
    errno = 0;
    EXPECT_EQ(write(slave, probe, sizeof probe), -1);
    EXPECT_EQ(errno, EIO);

    // The program keeps running and receiving: idle passes and datagrams write and fail.
    usleep(500 * 1000);
    send({"--car", "FZR", "--count", "3", "--rate", "100"});
    EXPECT_TRUE(waitLine("Car: FZR"));
    send({"--car", "XRT", "--count", "3", "--rate", "100"});
    EXPECT_TRUE(waitLine("Car: XRT"));
    EXPECT_TRUE(processAlive(proc));
    expectCleanCtrlC();
}

// A sender flooding the port: reports keep coming and follow the flood's changing state,
// and Ctrl+C in the middle of it ends the program within a moment.
TEST_F(Faults, FloodOfDatagramsKeepsReportsFlowingAndCtrlCQuick)
{
    startWithDevice("[FLD]\nLED1=1\nLED2=14\n");

    // The flood switches the shift light every 100 ms.
    struct Flood {
        std::atomic<bool> stop{false};
        std::atomic<long> sent{0};
        std::thread thread;
        ~Flood() { end(); }
        void end()
        {
            stop.store(true);
            if (thread.joinable())
                thread.join();
        }
    } flood;
    flood.thread = std::thread([&flood, this] {
        TestUdp out;
        OutGaugePacket on = testPacket("FLD", OG_SHIFT, 0, 0.5f);
        OutGaugePacket off = testPacket("FLD", 0, 0, 0.5f);
        while (!flood.stop.load()) {
            bool phase = (testNowMs() / 100) % 2 == 0;
            out.send(port, phase ? on : off);
            flood.sent.fetch_add(1);
        }
    });

    EXPECT_TRUE(waitLine("Car: FLD"));
    // The all-off reports of the idle start come first.
    int r = 0;
    while ((r = nextReport()) == 0) {
    }
    int reports = 0, changes = 0, last = -1;
    long long end = testNowMs() + 4000;
    while (r != -1 && testNowMs() < end) {
        ++reports;
        if (last >= 0 && r != last)
            ++changes;
        last = r;
        // LED 2 is always on; LED 1 follows the flood.
        EXPECT_TRUE(r == 2 || r == 3) << r;
        r = nextReport(1000);
    }
    EXPECT_NE(r, -1) << "no report for a second during the flood";
    std::printf("flood: %ld datagrams sent, %d reports, %d changes in 4 s\n", flood.sent.load(),
                reports, changes);
    // At 10 ms a pass about 400 reports and 40 changes; a slow machine gets far fewer.
    EXPECT_GE(reports, 20);
    EXPECT_GE(changes, 4);

    long long took = expectEndBySignal(proc, SIGINT, {"Shutdown..."}, 3000);
    flood.end();
    std::printf("flood: Ctrl+C ended the program in %lld ms\n", took);
}

// Datagrams of 0 to 65507 bytes. Each one, if accepted, lights LED 1 alone (report 1); the
// fence datagram after it lights LED 2 alone (report 2). Every size but 0 lights LED 1, a
// longer datagram by its first 96 bytes, as long as no other game claims it: the random bytes
// are kept out of the games' rules (no F1 year or Forza race flag at 0, no Project CARS packet
// type at 10, not DiRT's length), which the games' tables test on their own.
TEST_F(Faults, EveryDatagramOfOneByteOrMoreIsAccepted)
{
    startWithDevice("[default]\nLED1=-3\nLED2=3\n");

    TestUdp out;
    OutGaugePacket fence = testPacket("", OG_PITSPEED, 0, 0.5f);
    // Load [default] for the empty car name: a car change away from it and back.
    ASSERT_TRUE(out.send(port, testPacket("X", 0, 0, 0.5f)));
    EXPECT_TRUE(waitLine("Car: X"));
    ASSERT_TRUE(out.send(port, fence));
    EXPECT_TRUE(waitLine("Car: "));
    ASSERT_TRUE(waitReport(2));

    std::vector<std::size_t> sizes;
    for (std::size_t s = 0; s <= 200; ++s)
        sizes.push_back(s);
    for (std::size_t s : {255, 256, 257, 511, 512, 1024, 1472, 1473, 1500, 4096, 8192, 9000, 16384,
                          32768, 65000, 65506, 65507})
        sizes.push_back(s);
    unsigned seed = static_cast<unsigned>(testNowMs());
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> anySize(201, 65507);
    for (int i = 0; i < 20; ++i) {
        std::size_t size = anySize(rng);
        while (size == 264)
            size = anySize(rng);
        sizes.push_back(size);
    }
    SCOPED_TRACE("random seed " + std::to_string(seed));

    std::uniform_int_distribution<int> anyByte(0, 255);
    for (std::size_t size : sizes) {
        // Random bytes, except an empty car name and the limiter clear in both layouts'
        // words: accepted, this datagram gives report 1, whatever else it holds.
        std::vector<unsigned char> bytes(size);
        for (unsigned char &b : bytes)
            b = static_cast<unsigned char>(anyByte(rng));
        for (std::size_t i = OG_OFF_CAR; i < OG_OFF_CAR + 4 && i < size; ++i)
            bytes[i] = 0;
        if (size > OG_OFF_FLAGS)
            bytes[OG_OFF_FLAGS] = static_cast<unsigned char>(bytes[OG_OFF_FLAGS] & ~OG_PITSPEED);
        if (size > OG_OFF_LIGHTS_ON)
            bytes[OG_OFF_LIGHTS_ON] =
                static_cast<unsigned char>(bytes[OG_OFF_LIGHTS_ON] & ~OG_DL_PITSPEED);
        if (size > 1)
            bytes[1] |= 0x80; // the u16 at 0 above 2030, the s32 at 0 neither 0 nor 1
        if (size > 10)
            bytes[10] |= 0x80; // no packet type of Project CARS
        ASSERT_TRUE(out.send(port, bytes)) << size;

        bool accept = size >= 1;
        if (accept) {
            ASSERT_TRUE(waitReport(1)) << "a datagram of " << size << " bytes was dropped";
        } else {
            // Time for a wrongly accepted datagram to show before the fence overwrites it.
            usleep(30 * 1000);
        }
        ASSERT_TRUE(out.send(port, fence));
        for (;;) {
            int r = nextReport();
            ASSERT_NE(r, -1) << "no report after the fence, size " << size;
            ASSERT_NE(r, 1) << "a datagram of " << size << " bytes was accepted";
            if (r == 2)
                break;
        }
    }
    std::string more;
    EXPECT_FALSE(processReadLine(proc, more, 0)) << "unexpected output: " << more;
    expectCleanCtrlC();
}

// Fills a FIFO until a write would block; the count of bytes it took.
std::size_t fillFifo(int fd)
{
    std::size_t total = 0;
    char chunk[4096] = {};
    for (;;) {
        ssize_t n = write(fd, chunk, sizeof chunk);
        if (n > 0) {
            total += static_cast<std::size_t>(n);
            continue;
        }
        // A partial page may still fit.
        n = write(fd, chunk, 1);
        if (n <= 0)
            return total;
        total += 1;
    }
}

// Ctrl+C while the console takes no more output: the program is stuck printing (here a
// configuration mistake prints four lines for every datagram), yet it ends.
TEST_F(Faults, CtrlCEndsTheProgramWhileItsOutputIsStuck)
{
    startWithDevice("[UND]\nLED1=15\nLED2=16\nLED1b=17\nLED2b=18\n");

    // Datagrams until the output pipe (made as small as a pipe can be) is full and stays full.
    fcntl(proc.outFd, F_SETPIPE_SZ, 4096);
    TestUdp out;
    OutGaugePacket p = testPacket("UND", 0, 0, 0.5f);
    int queued = 0, steady = 0;
    long long end = testNowMs() + 60000;
    while (steady < 250 && testNowMs() < end) {
        out.send(port, p);
        usleep(2000);
        int now = 0;
        ioctl(proc.outFd, FIONREAD, &now);
        steady = now == queued && now > 0 ? steady + 1 : 0;
        queued = now;
        while (nextReport(0) >= 0) {
        }
    }
    std::printf("stuck output: %d bytes wait in the pipe\n", queued);
    ASSERT_EQ(steady, 250) << "the output never stalled";

    long long took = expectEndBySignal(proc, SIGINT, {});
    std::printf("stuck output: Ctrl+C ended the program in %lld ms\n", took);
}

// The reader of the output goes away (a pipe into a program that ended): printing fails,
// and the program goes on and still ends by Ctrl+C.
TEST_F(Faults, OutputThatIsClosedLeavesTheProgramRunning)
{
    startWithDevice("[XRT]\nLED1=14\n[FZR]\nLED2=14\n");
    close(proc.outFd);
    proc.outFd = -1;
    // Each car change prints, and each print now fails.
    for (int i = 0; i < 5; ++i) {
        send({"--car", "XRT", "--count", "2"});
        EXPECT_TRUE(waitReport(1));
        send({"--car", "FZR", "--count", "2"});
        EXPECT_TRUE(waitReport(2));
    }
    expectEndBySignal(proc, SIGINT, {});
}

// Ctrl+C while a report write hangs (a device that takes no more reports: here a FIFO that
// is full): the program ends all the same.
TEST_F(Faults, CtrlCEndsTheProgramWhileADeviceWriteHangs)
{
    addDevice(0, 0x046D, 0xCA03);
    int fill = open("/dev/hidraw0", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fill, 0);
    std::printf("stalled device: %zu bytes fill it\n", fillFifo(fill));
    writeConfig("");
    start();
    expectStartup(true);
    // The first pass writes an all-off report, and that write never returns.
    usleep(300 * 1000);

    long long took =
        expectEndBySignal(proc, SIGINT, {"Shutdown...", "ogClose: Closing OutGauge..."});
    close(fill);
    std::printf("stalled device: Ctrl+C ended the program in %lld ms\n", took);
}

// Hostile configuration files: the program starts, takes what it can read and the defaults
// for the rest, and runs. Where the file holds [config] with the test's port (written far
// outside 32 bits, so that only its low 32 bits give the port) and [XRT] with LED1=14 and
// LED2=14 after the hostile part, that section is found and lights both LEDs.
namespace {

struct HostileConfig {
    const char *name;
    std::string (*text)(int port); // nullptr: prepare makes the file
    bool withDevice;               // a device, and the file's settings are expected to be read
    void (*prepare)(std::string &dir, const std::string &text);
    bool asNobody; // the program runs as the user nobody, whom a file's permissions refuse
};

std::string junk(unsigned seed)
{
    std::mt19937 rng(seed);
    std::string bytes(256 * 1024, '\0');
    for (char &c : bytes)
        c = static_cast<char>(rng() & 0xFF);
    return bytes;
}

std::string xrtAfter(int port, const std::string &before)
{
    return before + "\n[config]\noutGaugePort=" + wrapsTo(port) + "\n[XRT]\nLED1=14\nLED2=14\n";
}

const HostileConfig kHostileConfigs[] = {
    {"BinaryJunk", [](int) { return junk(7); }, false, nullptr, false},
    {"SettingsAfterBinaryJunk", [](int port) { return xrtAfter(port, junk(11)) + junk(13); }, true,
     nullptr, false},
    {"LineOfEightMegabytes",
     [](int port) {
         return "[config]\nfiller=" + std::string(8 << 20, 'x') +
                "\noutGaugePort=" + wrapsTo(port) + "\n[XRT]\nLED1=14\nLED2=14\n";
     },
     true, nullptr, false},
    // A NUL is a byte like any other: it ends a number, it is part of a name, and after a
    // section's ']' it is ignored with the rest of the line.
    {"NulBytes",
     [](int port) {
         using namespace std::string_literals;
         return "\0\0\0\n[config]\0 rest of the header line\n\0=\0\n"
                "outGaugePort\0=1\noutGaugePort= "s +
                std::to_string(port) + "\0 99\n[XRT\0]\nLED1=1\n[XRT]\nLED1=14\0\nLED2=14\n"s;
     },
     true, nullptr, false},
    {"ThousandsOfSections",
     [](int port) {
         std::string text;
         for (int i = 0; i < 20000; ++i)
             text += "[car" + std::to_string(i) + "]\nLED1=1\nLED2=2\nlowFuel=0.5\n";
         return xrtAfter(port, text);
     },
     true, nullptr, false},
    // Decimal far past 64 bits, hexadecimal past 64 bits, a flash time far below.
    {"ValuesFarOutsideThirtyTwoBits",
     [](int port) {
         return "[config]\noutGaugePort=" + wrapsTo(port) +
                "\ndeviceID=0x100000000000000000000CA03\ndeviceNum=" + wrapsTo(0) +
                "\nspeedlimitFlashTime=-99999999999999999999999\n[XRT]\nLED1=" + wrapsTo(14) +
                "\nLED2=-" + wrapsTo(-14) + "\n";
     },
     true, nullptr, false},
    {"NegativePortWraps",
     [](int port) {
         return "[config]\noutGaugePort=" +
                std::to_string(static_cast<long long>(port) - (1LL << 32)) +
                "\n[XRT]\nLED1=14\nLED2=14\n";
     },
     true, nullptr, false},
    {"Directory", nullptr, false,
     [](std::string &dir, const std::string &) {
         ASSERT_EQ(mkdir((dir + "/lumivane.cfg").c_str(), 0755), 0);
         testWriteConfig(dir + "/lumivane.cfg", "[config]\noutGaugePort=1\n");
     },
     false},
    // Read as a user whom the folder lets in and the file's mode refuses.
    {"Unreadable", nullptr, false,
     [](std::string &dir, const std::string &) {
         ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
         ASSERT_EQ(chmod(testWriteConfig(dir, "[config]\noutGaugePort=1\n").c_str(), 0), 0);
     },
     true},
    // A working directory whose path alone is longer than 512 bytes.
    {"LongWorkingDirectory", [](int port) { return xrtAfter(port, ""); }, true,
     [](std::string &dir, const std::string &text) {
         for (int i = 0; i < 6; ++i) {
             dir += "/" + std::string(100, static_cast<char>('a' + i));
             ASSERT_EQ(mkdir(dir.c_str(), 0755), 0) << std::strerror(errno);
         }
         testWriteConfig(dir, text);
     },
     false},
};

void PrintTo(const HostileConfig &c, std::ostream *os)
{
    *os << c.name;
}

class HostileConfiguration : public EndToEnd, public testing::WithParamInterface<HostileConfig> {};

} // namespace

TEST_P(HostileConfiguration, StartsWithWhatItCanReadAndRuns)
{
    const HostileConfig &c = GetParam();
    std::string text = c.text != nullptr ? c.text(port) : "";
    if (c.prepare != nullptr)
        c.prepare(dir, text);
    else
        testWriteConfig(dir, text);
    if (IsSkipped() || HasFatalFailure())
        return;
    if (c.withDevice) {
        addDevice(0, 0x046D, 0xCA03);
        openReports(0);
    }
    start(c.asNobody);
    expectStartup(c.withDevice, c.withDevice ? port : 56551);
    if (c.withDevice) {
        send({"--car", "XRT", "--count", "3", "--rate", "50"});
        EXPECT_TRUE(waitLine("Car: XRT"));
        EXPECT_TRUE(waitReport(3));
    }
    expectCleanCtrlC();
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileConfiguration, testing::ValuesIn(kHostileConfigs),
                         [](const testing::TestParamInfo<HostileConfig> &info) {
                             return std::string(info.param.name);
                         });

// Car names of bytes a terminal takes as controls reach the console as '?'.
TEST_F(Faults, CarNamesOfControlBytesNeverReachTheConsole)
{
    startWithDevice("");
    send({"--car", "\x1b[2J", "--count", "2"});
    EXPECT_TRUE(waitLine("Car: ?[2J"));
    send({"--car", "\x01\x02\x03\x04", "--count", "2"});
    EXPECT_TRUE(waitLine("Car: ????"));
    send({"--car", "\xff\x9b\x07\x7f", "--count", "2"});
    EXPECT_TRUE(waitLine("Car: ????"));
    send({"--car", "\x1b]0;", "--count", "2"});
    EXPECT_TRUE(waitLine("Car: ?]0;"));
    expectCleanCtrlC();
    std::string rest;
    while (processReadLine(proc, rest, 2000)) {
    }
    std::size_t at = 0;
    EXPECT_FALSE(hasControlBytes(proc.all, &at))
        << "byte " << static_cast<int>(static_cast<unsigned char>(proc.all[at])) << " at " << at;
}
