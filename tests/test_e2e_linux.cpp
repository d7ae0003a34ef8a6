// The real lumivane binary as a user starts it, with a stand-in hidraw device laid over
// /sys and /dev in a private mount namespace, fed by the real datagram sender.
#include "support/e2e_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

TEST_F(EndToEnd, StartsWithTheDeviceAndFollowsTheCar)
{
    startWithDevice("[XRT]\nLED1=1\nLED2=3\n[default]\nLED1=14\n");

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

// Ctrl+C, Ctrl+\ (the break key), terminate and hang-up, with datagrams still coming: the
// shutdown transcript, an end by that signal, and no other report than the last state: the
// LEDs stay as they were.
TEST_F(EndToEnd, ConsoleSignalsEndTheProgramAndLeaveTheLedsAsTheyWere)
{
    addDevice(0, 0x046D, 0xCA03);
    writeConfig("[default]\nLED1=14\nLED2=3\n");
    openReports(0);
    for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE("signal " + std::to_string(sig));
        start();
        expectStartup(true);
        TestProcess sender;
        ASSERT_TRUE(processStart(
            sender, LUMIVANE_OGSEND,
            {"--hold", "--port", std::to_string(port), "--car", "XRT", "--flags", "pitspeed"}, ""));
        EXPECT_TRUE(waitLine("Car: XRT"));
        EXPECT_TRUE(waitReport(3));
        expectEndBySignal(proc, sig, {"Shutdown...", "ogClose: Closing OutGauge..."});
        processStop(sender, SIGINT, 10000);
        close(sender.outFd);
        for (int r = nextReport(300); r != -1; r = nextReport(300))
            EXPECT_EQ(r, 3) << "a report after the signal";
    }
}

// Started without the device: datagrams are read all the same, and the device plugged in later
// is found and shown the current state at once.
TEST_F(EndToEnd, WithoutADeviceItReadsOnAndFindsTheDeviceLater)
{
    addDevice(0, 0x1234, 0xCA03);
    writeConfig("[default]\nLED1=14\n");
    start();
    expectStartup(false);
    TestProcess sender;
    ASSERT_TRUE(processStart(sender, LUMIVANE_OGSEND,
                             {"--hold", "--port", std::to_string(port), "--car", "XRT"}, ""));
    EXPECT_EQ(line(), "Car: XRT");
    addDevice(1, 0x046D, 0xCA03);
    openReports(1);
    expectLines({testStartupLines("", port).back(), "initHID: Device found."});
    EXPECT_EQ(nextReport(), 1);
    processStop(sender, SIGINT, 10000);
    close(sender.outFd);
    expectEndBySignal(proc, SIGINT, {"Shutdown...", "ogClose: Closing OutGauge..."});
}

// deviceNum=1 with two identical devices: the second one gets the reports, the first none.
TEST_F(EndToEnd, DeviceNumberChoosesAmongIdenticalDevices)
{
    addDevice(0, 0x046D, 0xCA03);
    addDevice(1, 0x046D, 0xCA03);
    writeConfig("deviceNum=1\n[default]\nLED1=14\n");
    int first = open("/dev/hidraw0", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(first, 0);
    openReports(1);
    start();
    expectStartup(true);
    EXPECT_EQ(nextReport(), 0);
    send({"--car", "XRT", "--count", "3"});
    EXPECT_TRUE(waitReport(1));
    char report[8];
    EXPECT_LE(read(first, report, sizeof report), 0) << "a report reached the first device";
    close(first);
    expectCleanCtrlC();
}

// Another program holds the port: no device is opened while it does, and when it lets go the
// receiver opens, then the device.
TEST_F(EndToEnd, PortHeldByAnotherProgramIsWaitedFor)
{
    auto holder = std::make_unique<TestUdp>(port);
    ASSERT_TRUE(holder->ok());
    addDevice(0, 0x046D, 0xCA03);
    writeConfig("[default]\nLED2=14\n");
    openReports(0);
    start();
    std::vector<std::string> lines = testStartupLines(dir + "/lumivane.cfg", port);
    const std::string searching = lines.back();
    lines.pop_back();
    const std::string shown = std::to_string(port);
    lines.insert(lines.end(), {"ogInit: Socket bind failed",
                               "ogInit: Port " + shown +
                                   " is in use by another program; trying again every second...",
                               "OutGauge init failed!", "Ready for OutGauge data"});
    expectLines(lines);
    EXPECT_EQ(nextReport(1500), -1) << "a report while another program held the port";
    holder.reset();
    expectLines({"ogInit: Port " + shown + " is free now: receiving OutGauge data", searching,
                 "initHID: Device found."});
    send({"--car", "XRT", "--count", "3"});
    EXPECT_TRUE(waitReport(2));
    expectEndBySignal(proc, SIGINT, {"Car: XRT", "Shutdown...", "ogClose: Closing OutGauge..."});
}

// A second copy on the same port leaves the device to the first, and takes over when the first
// ends.
TEST_F(EndToEnd, SecondCopyOnThePortWaitsForTheFirst)
{
    startWithDevice("[default]\nLED1=14\n");
    const std::string second = testTempDir("e2e-second");
    testWriteConfig(second, testConfigText(port, "[default]\nLED2=14\n"));
    TestProcess copy;
    ASSERT_TRUE(processStart(copy, LUMIVANE_BINARY, {}, second));
    std::string l;
    bool waits = false;
    while (processReadLine(copy, l, 10000) && l != "Ready for OutGauge data")
        waits = waits || l.find("is in use by another program") != std::string::npos;
    EXPECT_TRUE(waits) << copy.all;
    TestProcess sender;
    ASSERT_TRUE(processStart(sender, LUMIVANE_OGSEND,
                             {"--hold", "--port", std::to_string(port), "--car", "XRT"}, ""));
    EXPECT_TRUE(waitReport(1));
    // The first copy's state only: the second one, were it writing, would switch the LEDs off
    // every 110 ms as it receives nothing.
    for (long long end = testNowMs() + 1500; testNowMs() < end;)
        ASSERT_EQ(nextReport(), 1) << "a report of the second copy";
    expectEndBySignal(proc, SIGINT, {"Car: XRT", "Shutdown...", "ogClose: Closing OutGauge..."});
    EXPECT_TRUE(waitReport(2)) << copy.all;
    processStop(sender, SIGINT, 10000);
    close(sender.outFd);
    expectEndBySignal(copy, SIGINT, {"Shutdown...", "ogClose: Closing OutGauge..."});
    close(copy.outFd);
}

// An edit while datagrams stream applies at once, without a restart.
TEST_F(EndToEnd, EditsTakeEffectOnSave)
{
    startWithDevice("[XRT]\nLED1=14\n");
    TestProcess sender;
    ASSERT_TRUE(processStart(sender, LUMIVANE_OGSEND,
                             {"--hold", "--port", std::to_string(port), "--car", "XRT"}, ""));
    EXPECT_EQ(line(), "Car: XRT");
    EXPECT_TRUE(waitReport(1));
    writeConfig("[XRT]\nLED2=14\n");
    expectLines({"Loading config " + dir + "/lumivane.cfg...", "Car: XRT"});
    EXPECT_TRUE(waitReport(2));
    processStop(sender, SIGINT, 10000);
    close(sender.outFd);
    expectCleanCtrlC();
}

// A file caught while it is being saved: empty, then with [config] cut short, which would move
// the port to the default. Neither moves the port, and the whole file is read when it comes.
TEST_F(EndToEnd, HalfSavedFileDoesNotMoveThePort)
{
    startWithDevice("[XRT]\nLED1=14\n");
    const std::string loading = "Loading config " + dir + "/lumivane.cfg...";
    testWriteConfig(dir, "");
    std::string more;
    EXPECT_FALSE(processReadLine(proc, more, 2500)) << "read the empty file: " << more;
    testWriteConfig(dir, "[con");
    EXPECT_EQ(line(), loading);
    writeConfig("[XRT]\nLED2=14\n");
    EXPECT_EQ(line(), loading);
    EXPECT_FALSE(processReadLine(proc, more, 2500)) << "after the whole file: " << more;
    send({"--car", "XRT", "--count", "3"});
    EXPECT_EQ(line(), "Car: XRT");
    EXPECT_TRUE(waitReport(2));
    expectCleanCtrlC();
}

// Datagrams as today's senders write them (tests/data): a 109-byte one with the car "beam", a
// mod car named by its SkinID, and one where the driver holds the Shift key, which lights
// nothing.
TEST_F(EndToEnd, CurrentSendersDriveTheirCarsSections)
{
    startWithDevice("[beam]\nLED1=1\nLED2=16\n[5882E6]\nLED1=6\nLED2=-1\n[XRT]\nLED1=-3\n"
                    "LED2=-1\n");
    TestUdp out;
    ASSERT_TRUE(out.send(port, testDatagramFile("datagram_beamng.hex")));
    EXPECT_EQ(line(), "Car: beam");
    EXPECT_TRUE(waitReport(3)); // shift light, battery warning
    ASSERT_TRUE(out.send(port, testDatagramFile("datagram_mod_car.hex")));
    EXPECT_EQ(line(), "Car: 5882E6");
    EXPECT_TRUE(waitReport(1)); // right signal; the shift light inverted
    ASSERT_TRUE(out.send(port, testDatagramFile("datagram_simulator.hex")));
    EXPECT_EQ(line(), "Car: XRT");
    EXPECT_TRUE(waitReport(2)); // the limiter inverted; the Shift key is no shift light
    expectCleanCtrlC();
}

// The other games on the one port, as ogsend plays them: each one's car name, its lights, and
// the shift light of a game without one of its own by shiftAt (90 unless the car says so).
TEST_F(EndToEnd, OtherGamesLightTheLedsAsTheySendThem)
{
    // LED 1: the shift light; LED 2: on while the pit limiter is off.
    startWithDevice("[default]\nLED1=1\nLED2=-3\n[2352]\nshiftAt=95\n");
    struct Row {
        std::vector<std::string> args;
        const char *car;
        int leds;
    };
    const Row rows[] = {
        {{"--game", "f1-25", "--flags", "shift"}, "Car: F125", 3},
        {{"--game", "f1-24", "--flags", "shift,pitspeed"}, "Car: F124", 1},
        // 7300 rpm of 8000: above 90 %, below the car's own 95 %.
        {{"--game", "forza-horizon", "--car", "2352", "--rpm", "7300", "--max", "8000"},
         "Car: 2352",
         2},
        {{"--game", "forza-dash", "--car", "1000", "--rpm", "7300", "--max", "8000"},
         "Car: 1000",
         3},
        {{"--game", "forza-sled", "--car", "777", "--rpm", "7100", "--max", "8000"}, "Car: 777", 2},
        {{"--game", "dirt", "--rpm", "7000", "--max", "7500"}, "Car: DIRT", 3},
        {{"--game", "ams2", "--flags", "pitspeed", "--rpm", "7500", "--max", "8000"},
         "Car: AMS2",
         1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.car);
        while (nextReport(0) != -1) {
        }
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--count", "20", "--rate", "100"});
        send(args);
        EXPECT_TRUE(waitLine(row.car));
        EXPECT_TRUE(waitReport(row.leds));
    }
    expectCleanCtrlC();
}
