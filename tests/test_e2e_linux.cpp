// The real lumivane binary as a user starts it, with a stand-in hidraw device laid over
// /sys and /dev in a private mount namespace, fed by the real datagram sender.
#include "support/e2e_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

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
    e2eEnterNamespace();
    return RUN_ALL_TESTS();
}
