// One pass of the main loop at a time, with a clock the test sets, a real receiver on
// loopback and the stand-in hidraw device.
#include "app/clock.h"
#include "app/config.h"
#include "app/loop.h"
#include "hid/hid.h"
#include "hid/hid_linux.h"
#include "outgauge/receiver.h"
#include "support/hidraw_tree.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class Loop : public testing::Test {
protected:
    void SetUp() override
    {
        configReset();
        tree = hidrawTreeCreate("loop");
        ASSERT_TRUE(hidrawTreeAddDevice(tree, 0, 3, 0x046D, 0xCA03, HIDRAW_NODE_FIFO));
        hidSetPaths(hidrawTreeClassDir(tree).c_str(), hidrawTreeDevDir(tree).c_str());
        dir = testTempDir("loop");
        testWriteFile(dir + "/cfg", "[XRT]\nLED1=1\nLED2=-3\n[FZR]\nLED1=14\n");

        sender = socket(AF_INET, SOCK_DGRAM, 0);
        globalSettings.outGaugePort = testFreeUdpPort();
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(static_cast<std::uint16_t>(globalSettings.outGaugePort));

        testCaptureBegin();
        ASSERT_TRUE(ogInit());
        ASSERT_TRUE(initHID(0xCA03, 0));
        testCaptureEnd();
        reports = open(hidrawTreeNodePath(tree, 0).c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reports, 0);
        std::memset(&packet, 0, sizeof packet);
        std::memset(currentCar, 0, sizeof currentCar);
        lastPacketTick = 0;
    }

    void TearDown() override
    {
        testCaptureBegin();
        ogClose();
        closeHID();
        testCaptureEnd();
        close(reports);
        close(sender);
        hidSetPaths(nullptr, nullptr);
        hidrawTreeRemove(tree);
        clockClearTest();
        configReset();
    }

    // The profile of a car, resolved from the test's file without printing.
    void loadCar(const char *car) { configResolveProfile((dir + "/cfg").c_str(), car, &carProfile); }

    void send(const OutGaugePacket &p)
    {
        sendto(sender, p.bytes, sizeof p.bytes, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }

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
        std::uint32_t before = lastPacketTick;
        for (int i = 0; i < 2000 && lastPacketTick == before; ++i) {
            appLoopPass();
            if (lastPacketTick == before)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_NE(lastPacketTick, before) << "no datagram accepted";
    }

    HidrawTree tree;
    std::string dir;
    int sender = -1;
    sockaddr_in to{};
    int reports = -1;
};

} // namespace

TEST_F(Loop, IdleRuleWritesAllOffAfterTwoSecondsAcrossTheWrap)
{
    // A datagram accepted 300 ms before the tick count wraps.
    clockSetTest(UINT32_MAX - 299);
    lastPacketTick = clockTicks();

    int passes = 0;
    std::uint32_t firstOffAt = 0;
    while (firstOffAt == 0 && passes < 400) {
        std::uint32_t now = clockTicks();
        appLoopPass();
        ++passes;
        std::vector<int> leds = written();
        if (!leds.empty()) {
            EXPECT_EQ(leds, std::vector<int>{0});
            firstOffAt = now;
        }
    }
    // The first all-off report comes on the first pass more than 2000 ms after the datagram,
    // although the tick count wrapped in between.
    EXPECT_EQ(firstOffAt - lastPacketTick, 2010u);
    // From then on: an all-off report every pass, each pass 110 ms long.
    std::uint32_t t0 = clockTicks();
    appLoopPass();
    EXPECT_EQ(written(), std::vector<int>{0});
    EXPECT_EQ(clockTicks() - t0, 110u);
}

TEST_F(Loop, FedPassesAreTenMillisecondsAndHoldTheLastState)
{
    clockSetTest(5000);
    loadCar("XRT");
    std::memcpy(currentCar, "XRT", 4);
    send(testPacket("XRT", OG_SHIFT, 0, 1));
    passUntilAccepted();
    EXPECT_EQ(written(), std::vector<int>{3}); // LED1 shift on, LED2 on while limiter off

    // Without datagrams, for 2000 ms nothing more is written.
    for (int i = 0; i < 150; ++i) {
        std::uint32_t t0 = clockTicks();
        appLoopPass();
        EXPECT_EQ(clockTicks() - t0, 10u);
    }
    EXPECT_TRUE(written().empty());
}

TEST_F(Loop, ABurstGivesOneUpdateFromItsLastDatagram)
{
    clockSetTest(1000);
    loadCar("XRT");
    std::memcpy(currentCar, "XRT", 4);
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
    clockSetTest(1000);
    // The path of the configuration is built on the first load, in the working directory.
    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
    testWriteFile(dir + "/lumivane.cfg", testReadFile(dir + "/cfg"));
    testCaptureBegin();
    loadConfig();
    testCaptureEnd();
    std::filesystem::current_path(cwd);

    // An empty name on the first datagram equals the empty current car: no reload, all off.
    send(testPacket("", OG_SHIFT, 0, 1));
    testCaptureBegin();
    passUntilAccepted();
    EXPECT_EQ(testCaptureEnd(), "");
    EXPECT_EQ(written(), std::vector<int>{0});

    send(testPacket("XRT", OG_SHIFT, 0, 1));
    testCaptureBegin();
    passUntilAccepted();
    EXPECT_EQ(testCaptureEnd(), "Car: XRT\n");
    EXPECT_EQ(written(), std::vector<int>{3});

    send(testPacket("XRT", 0, 0, 1));
    testCaptureBegin();
    passUntilAccepted();
    EXPECT_EQ(testCaptureEnd(), "");
    EXPECT_EQ(written(), std::vector<int>{2});

    send(testPacket("FZR", 0, 0, 1));
    testCaptureBegin();
    passUntilAccepted();
    EXPECT_EQ(testCaptureEnd(), "Car: FZR\n");
    EXPECT_EQ(written(), std::vector<int>{1});

    // Back to an empty name after a car: a car change like any other.
    send(testPacket("", 0, 0, 1));
    testCaptureBegin();
    passUntilAccepted();
    EXPECT_EQ(testCaptureEnd(), "Car: \n");
}
