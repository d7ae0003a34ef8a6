// Tests of the Windows backends through the real system services: the configuration's path,
// HID, the clock and console events. The profile API and Winsock run the shared INI and
// receiver tests.
#include "app/clock.h"
#include "app/clock_backend.h"
#include "rules/config.h"
#include "rules/config_backend.h"
#include "app/console.h"
#include "app/console_backend.h"
#include "rules/profile.h"
#include "hid/hid.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <windows.h>

namespace {

std::string currentDirectory()
{
    char dir[MAX_PATH];
    DWORD len = GetCurrentDirectoryA(MAX_PATH, dir);
    return std::string(dir, len);
}

bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Runs configBuildPath in dir and returns its result, restoring the working directory.
std::string pathBuiltIn(const std::string &dir)
{
    std::string before = currentDirectory();
    EXPECT_TRUE(SetCurrentDirectoryA(dir.c_str())) << dir;
    char *path = configBuildPath();
    std::string result = path != nullptr ? path : "";
    std::free(path);
    SetCurrentDirectoryA(before.c_str());
    return result;
}

} // namespace

TEST(WindowsConfigPath, WorkingDirectoryThenFileName)
{
    std::string dir = testTempDir("path");
    std::string path = pathBuiltIn(dir);
    EXPECT_TRUE(endsWith(path, "\\lumivane.cfg")) << path;
    // The directory as the system reports it, not the name it was created with.
    std::string before = currentDirectory();
    SetCurrentDirectoryA(dir.c_str());
    std::string reported = currentDirectory();
    SetCurrentDirectoryA(before.c_str());
    EXPECT_EQ(path, reported + "\\lumivane.cfg");
}

TEST(WindowsConfigPath, DriveRootGetsNoSecondSeparator)
{
    EXPECT_EQ(pathBuiltIn("C:\\"), "C:\\lumivane.cfg");
}

TEST(WindowsConfigPath, TheFallbackNameIsReadFromTheWorkingDirectory)
{
    // The fallback for a directory that does not fit names the working directory
    // explicitly: the profile API would look for a bare name in the Windows folder.
    std::string dir = testTempDir("fallback");
    testWriteFile(dir + "\\lumivane.cfg", "[config]\r\noutGaugePort=4242\r\n");
    std::string before = currentDirectory();
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    const ProfileFile fallback = {CONFIG_FALLBACK_PATH, nullptr, 0};
    EXPECT_EQ(profileGetInt(fallback, "config", "outGaugePort", 1), 4242);
    // What lumivane and lumivane-check read when the path cannot be built.
    const ProfileFile built = {configPathOr(nullptr), nullptr, 0};
    EXPECT_EQ(profileGetInt(built, "config", "outGaugePort", 1), 4242);
    SetCurrentDirectoryA(before.c_str());
}

TEST(WindowsHid, NoDeviceUnderTheTestSystem)
{
    testCaptureBegin();
    bool found = initHID(0xCA03, 0);
    std::string out = testCaptureEnd();
    EXPECT_FALSE(found);
    EXPECT_EQ(out, "initHID: Initializing HID (Device ID 0xCA03)...HID GUID: 4D1E55B2\n"
                   "initHID: Device not found.\n");
    EXPECT_FALSE(hidSetLeds(true, true));
    EXPECT_FALSE(closeHID());
    EXPECT_FALSE(closeHID());
}

TEST(WindowsHid, OutOfRangeProductMatchesNothingButIsShown)
{
    testCaptureBegin();
    initHID(0x10000, -1);
    std::string out = testCaptureEnd();
    EXPECT_EQ(out, "initHID: Initializing HID (Device ID 0x10000)...HID GUID: 4D1E55B2\n"
                   "initHID: Device not found.\n");
}

TEST(WindowsClock, SleepPassesTicks)
{
    std::uint32_t before = clockSystemTicks();
    clockSystemSleep(100);
    std::uint32_t elapsed = clockSystemTicks() - before;
    // The tick count moves in steps of up to about 16 ms.
    EXPECT_GE(elapsed, 80u);
}

// Ctrl+C while a report write hangs, holding the device's lock that the handler's closeHID
// waits for: the process ends all the same, with the status of the default handling. The
// device is a pipe that nobody reads, so the write never returns.
TEST(WindowsConsole, CtrlCEndsTheProcessWhileAReportWriteHangs)
{
    EXPECT_EXIT(
        {
            const char *name = "\\\\.\\pipe\\lumivane-stalled-device";
            HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                           0, 0, 0, nullptr);
            if (pipe == INVALID_HANDLE_VALUE ||
                !initHID(0xCA03, 0, HidPlaces{nullptr, nullptr, name}))
                std::exit(2);
            std::thread([] { hidSetLeds(true, true); }).detach();
            Sleep(200);
            // As the system calls the handler: on a thread of its own.
            std::thread([] { consoleOnEvent(CONSOLE_CTRL_C); }).detach();
            Sleep(30000);
            std::exit(3);
        },
        testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "");
}
