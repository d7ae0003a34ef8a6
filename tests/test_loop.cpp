// One pass of the main loop at a time, with a clock the test sets, a real receiver on
// loopback and the stand-in hidraw device.
#include "rules/config.h"
#include "app/console.h"
#include "app/loop.h"
#include "hid/hid.h"
#include "outgauge/receiver.h"
#include "support/loop_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class Loop : public LoopStandIn {
protected:
    void SetUp() override
    {
        LoopStandIn::SetUp();
        dir = testTempDir("loop");
        config = testWriteConfig(dir, "[XRT]\nLED1=1\nLED2=-3\n[FZR]\nLED1=14\n");
        app.configPath = config.c_str();
        app.fileStamp = configFileStamp(app.configPath);
        testCaptureBegin();
        openBoth();
        testCaptureEnd();
    }

    // The car whose profile the loop holds, resolved from the test's file without a word.
    void loadCar(const char *car)
    {
        std::strcpy(app.car, car);
        app.profile = testProfileOf(config, car);
    }

    void send(const OutGaugePacket &p) { sender.send(port, p); }

    // The LED bytes of the reports written since the last call.
    std::vector<int> written()
    {
        std::vector<int> leds;
        unsigned char r[8];
        while (read(reports, r, sizeof r) == 8)
            leds.push_back(r[2]);
        return leds;
    }

    // Loop passes until one accepts a datagram (the datagram is on its way through loopback).
    void passUntilAccepted()
    {
        std::uint32_t before = app.lastPacketTick;
        for (int i = 0; i < 2000 && app.lastPacketTick == before; ++i) {
            appLoopPass(&app, clock);
            if (app.lastPacketTick == before)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_NE(app.lastPacketTick, before) << "no datagram accepted";
    }

    // How many descriptors of this process, besides the test's own reader, are open on the
    // device's node (compared by inode, whatever path led to it).
    int openOnDevice()
    {
        struct stat node;
        if (stat(hidrawTreeNodePath(tree, 0).c_str(), &node) != 0)
            return -1;
        int count = 0;
        for (const auto &e : std::filesystem::directory_iterator("/proc/self/fd")) {
            struct stat st;
            if (e.path().filename() != std::to_string(reports) &&
                stat(e.path().c_str(), &st) == 0 && st.st_dev == node.st_dev &&
                st.st_ino == node.st_ino)
                ++count;
        }
        return count;
    }

    // Runs the program's start-up in the test's folder, its output captured.
    std::string startup()
    {
        std::string cwd = std::filesystem::current_path().string();
        std::filesystem::current_path(dir);
        testCaptureBegin();
        appStartup(&app, clock);
        std::string out = testCaptureEnd();
        std::filesystem::current_path(cwd);
        return out;
    }

    std::string dir;
    std::string config;
    TestUdp sender;
};

} // namespace

TEST_F(Loop, IdleRuleWritesAllOffAfterTwoSecondsAcrossTheWrap)
{
    // A datagram accepted 300 ms before the tick count wraps.
    ticks = UINT32_MAX - 299;
    app.lastPacketTick = ticks;

    int passes = 0;
    std::uint32_t firstOffAt = 0;
    while (firstOffAt == 0 && passes < 400) {
        std::uint32_t now = ticks;
        appLoopPass(&app, clock);
        ++passes;
        std::vector<int> leds = written();
        if (!leds.empty()) {
            EXPECT_EQ(leds, std::vector<int>{0});
            firstOffAt = now;
        }
    }
    // The first all-off report comes on the first pass more than 2000 ms after the datagram,
    // although the tick count wrapped in between.
    EXPECT_EQ(firstOffAt - app.lastPacketTick, 2010u);
    // From then on: an all-off report every pass, each pass 110 ms long.
    std::uint32_t t0 = ticks;
    appLoopPass(&app, clock);
    EXPECT_EQ(written(), std::vector<int>{0});
    EXPECT_EQ(ticks - t0, 110u);
}

// The limit is exact: 2000 ms after the last datagram nothing is written yet, 2001 ms after
// it the LEDs are switched off.
TEST_F(Loop, IdleRuleStartsAfterExactlyTwoThousandMilliseconds)
{
    ticks = 100000;
    app.lastPacketTick = ticks - 2000;
    appLoopPass(&app, clock);
    EXPECT_TRUE(written().empty());
    app.lastPacketTick = ticks - 2001;
    appLoopPass(&app, clock);
    EXPECT_EQ(written(), std::vector<int>{0});
}

// With the system up for minutes, the first pass after start-up switches the LEDs off: no
// datagram has come since the count began, whatever the loop's state was before.
TEST_F(Loop, StartUpIsIdleFromTheFirstPass)
{
    ticks = 300000;
    app.lastPacketTick = ticks;
    std::string out = startup();
    EXPECT_NE(out.find("Ready for OutGauge data\n"), std::string::npos) << out;
    appLoopPass(&app, clock);
    EXPECT_EQ(written(), std::vector<int>{0});
}

TEST_F(Loop, FedPassesAreTenMillisecondsAndHoldTheLastState)
{
    ticks = 5000;
    loadCar("XRT");
    send(testPacket("XRT", OG_SHIFT, 0, 1));
    passUntilAccepted();
    EXPECT_EQ(written(), std::vector<int>{3}); // LED1 shift on, LED2 on while limiter off

    // Without datagrams, for 2000 ms nothing more is written.
    for (int i = 0; i < 150; ++i) {
        std::uint32_t t0 = ticks;
        appLoopPass(&app, clock);
        EXPECT_EQ(ticks - t0, 10u);
    }
    EXPECT_TRUE(written().empty());
}

TEST_F(Loop, ABurstGivesOneUpdateFromItsLastDatagram)
{
    ticks = 1000;
    loadCar("XRT");
    send(testPacket("XRT", OG_SHIFT, 0, 1));
    send(testPacket("XRT", OG_SHIFT | OG_PITSPEED, 0, 1));
    send(testPacket("XRT", OG_PITSPEED, 0, 1));
    // Let all three arrive before the pass that reads them.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    passUntilAccepted();
    EXPECT_EQ(written(), std::vector<int>{0}); // limiter only: LED1 off, LED2 off
}

TEST_F(Loop, CarChangesReloadOnceAndApplyFromTheSameDatagram)
{
    ticks = 1000;
    // The path of the configuration is built at start-up, in the working directory.
    startup();

    struct Step {
        const char *car;
        unsigned flags;
        const char *printed;
        int report;
        const char *edit; // the file's new text, written before the step
    };
    const Step steps[] = {
        // An empty name on the first datagram equals the empty current car: no reload.
        {"", OG_SHIFT, "", 0, nullptr},
        {"XRT", OG_SHIFT, "Car: XRT\n", 3, nullptr},
        {"XRT", 0, "", 2, nullptr},
        // All four characters count: XRTX is another car, and XRT after it again another.
        {"XRTX", 0, "Car: XRTX\n", 0, nullptr},
        {"XRT", 0, "Car: XRT\n", 2, nullptr},
        {"FZR", 0, "Car: FZR\n", 1, nullptr},
        // The car's section is read again at each change: an edit applies at the next one.
        {"XRT", 0, "Car: XRT\n", 3, "[XRT]\nLED1=14\nLED2=-3\n"},
        // Back to an empty name after a car: a car change like any other.
        {"", 0, "Car: \n", 0, nullptr},
        // Each undefined code prints its message on every datagram, in the order LED1, LED2,
        // LED1b, LED2b, with the code's absolute value.
        {"UNDF", 0,
         "Car: UNDF\nUnkown LED action 21\nUnkown LED action 22\nUnkown LED action 23\n"
         "Unkown LED action -2147483648\n",
         2, "[UNDF]\nLED1=21\nLED2=-22\nLED1b=23\nLED2b=-2147483648\n"},
        {"UNDF", 0,
         "Unkown LED action 21\nUnkown LED action 22\nUnkown LED action 23\n"
         "Unkown LED action -2147483648\n",
         2, nullptr},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(std::string("car '") + step.car + "'");
        if (step.edit != nullptr)
            testWriteConfig(dir, step.edit);
        send(testPacket(step.car, step.flags, 0, 1));
        testCaptureBegin();
        passUntilAccepted();
        EXPECT_EQ(testCaptureEnd(), step.printed);
        EXPECT_EQ(written(), std::vector<int>{step.report});
    }
}

// A console event while the port is held by another program, the device is missing and a save
// of the file names another port: once the shutdown has begun, nothing is opened again, though
// the port and the device become free.
TEST_F(Loop, NothingIsOpenedAgainOnceTheShutdownBegan)
{
    ticks = 1000;
    ASSERT_EQ(openOnDevice(), 1) << "the device opened by the fixture is not seen";
    testCaptureBegin();
    ogClose();
    closeHID();
    auto holder = std::make_unique<TestUdp>(port);
    ASSERT_TRUE(holder->ok());
    EXPECT_FALSE(ogInit(port));
    std::filesystem::rename(hidrawTreeNodePath(tree, 0), hidrawTreeNodePath(tree, 0) + ".away");
    EXPECT_FALSE(initHID(0xCA03, 0, app.hidPlaces));
    testWriteConfig(dir, testConfigText(testFreeUdpPort()));
    ctrlHandler(CONSOLE_CTRL_C);
    holder.reset();
    std::filesystem::rename(hidrawTreeNodePath(tree, 0) + ".away", hidrawTreeNodePath(tree, 0));
    int mostOpen = 0;
    for (int i = 0; i < 300; ++i) {
        appLoopPass(&app, clock);
        mostOpen = std::max(mostOpen, openOnDevice());
    }
    const std::string out = testCaptureEnd();
    EXPECT_EQ(mostOpen, 0) << "the device was open after a pass";
    EXPECT_EQ(out.substr(out.find("Shutdown...")), "Shutdown...\n");
    EXPECT_FALSE(ogIsOpen());
    EXPECT_TRUE(written().empty());
}
