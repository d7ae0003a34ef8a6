// The real lumivane binary as a user starts it, with a stand-in hidraw device laid over
// /sys and /dev in a private mount namespace, fed by the real datagram sender.
#include "support/e2e_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
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

TEST_F(EndToEnd, WithoutADeviceItReportsAndKeepsRunning)
{
    addDevice(0, 0x1234, 0xCA03);
    writeConfig("");
    start();
    expectStartup(false);
    // Datagrams are no longer read: nothing more is printed, and the program stays up.
    send({"--car", "XRT", "--count", "3"});
    std::string more;
    EXPECT_FALSE(processReadLine(proc, more, 1500)) << more;
    expectCleanCtrlC();
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

// Another program holds the port: the receiver fails, yet the device is opened and the idle
// loop switches the LEDs off; Ctrl+C has no receiver to close.
TEST_F(EndToEnd, PortInUseStillOpensTheDevice)
{
    TestUdp holder(port);
    ASSERT_TRUE(holder.ok());
    addDevice(0, 0x046D, 0xCA03);
    writeConfig("");
    openReports(0);
    start();
    std::vector<std::string> lines = testStartupLines(dir + "/lumivane.cfg", port);
    lines.insert(lines.end() - 1, {"ogInit: Socket bind failed", "OutGauge init failed!"});
    lines.insert(lines.end(), {"initHID: Device found.", "Ready for OutGauge data"});
    expectLines(lines);
    EXPECT_EQ(nextReport(), 0);
    expectCleanCtrlC();
    for (std::string more; processReadLine(proc, more, 1000);)
        ADD_FAILURE() << "after Shutdown...: " << more;
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
