// Tests of the Windows backends through the real system services: path, profile API, Winsock, HID.
#include "app/clock.h"
#include "app/config.h"
#include "app/profile.h"
#include "hid/hid.h"
#include "outgauge/receiver.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <winsock2.h>
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
    EXPECT_EQ(profileGetInt("config", "outGaugePort", 1, ".\\lumivane.cfg"), 4242);
    SetCurrentDirectoryA(before.c_str());
}

class WindowsProfile : public testing::Test {
protected:
    void SetUp() override
    {
        path = testTempDir("profile") + "\\lumivane.cfg";
        testWriteFile(path, "[Config]\r\n"
                            "OutGaugePort=1234\r\n"
                            "hex=0x1A\r\n"
                            "negative=-75\r\n"
                            "text=  0.25  \r\n"
                            "quoted=\"ab cd\"\r\n"
                            "empty=\r\n"
                            "[FXR]\r\n"
                            "LED1=3\r\n");
    }
    std::string path;
};

TEST_F(WindowsProfile, IntegersWithCaseInsensitiveNames)
{
    EXPECT_EQ(profileGetInt("config", "outgaugeport", 0, path.c_str()), 1234);
    EXPECT_EQ(profileGetInt("CONFIG", "OUTGAUGEPORT", 0, path.c_str()), 1234);
    EXPECT_EQ(profileGetInt("fxr", "led1", -75, path.c_str()), 3);
    EXPECT_EQ(profileGetInt("config", "hex", 0, path.c_str()), 0x1A);
    EXPECT_EQ(profileGetInt("config", "negative", 0, path.c_str()), -75);
}

TEST_F(WindowsProfile, MissingGivesTheDefault)
{
    EXPECT_EQ(profileGetInt("config", "deviceID", 51715, path.c_str()), 51715);
    EXPECT_EQ(profileGetInt("nosuch", "LED1", -75, path.c_str()), -75);
    EXPECT_EQ(profileGetInt("config", "empty", 7, path.c_str()), 7);
    std::string missing = testTempDir("profile-missing") + "\\lumivane.cfg";
    EXPECT_EQ(profileGetInt("config", "outGaugePort", 56551, missing.c_str()), 56551);

    char out[CONFIG_STRING_SIZE];
    profileGetString("fxr", "lowFuel", "-1.0", out, sizeof out, path.c_str());
    EXPECT_STREQ(out, "-1.0");
    profileGetString("default", "lowFuel", "0.05", out, sizeof out, missing.c_str());
    EXPECT_STREQ(out, "0.05");
}

TEST_F(WindowsProfile, StringsTrimmedUnquotedAndBounded)
{
    char out[CONFIG_STRING_SIZE];
    profileGetString("CONFIG", "TEXT", "x", out, sizeof out, path.c_str());
    EXPECT_STREQ(out, "0.25");
    profileGetString("config", "quoted", "x", out, sizeof out, path.c_str());
    EXPECT_STREQ(out, "ab cd");
    profileGetString("config", "empty", "x", out, sizeof out, path.c_str());
    EXPECT_STREQ(out, "");

    char small[4];
    profileGetString("config", "quoted", "x", small, sizeof small, path.c_str());
    EXPECT_STREQ(small, "ab ");

    char untouched[2] = {'#', '#'};
    profileGetString("config", "quoted", "x", untouched, 0, path.c_str());
    EXPECT_EQ(untouched[0], '#');
    EXPECT_EQ(untouched[1], '#');
}

namespace {

// A blocking UDP socket of the test's own, on the loopback address.
class UdpSocket {
public:
    UdpSocket() { sock = socket(AF_INET, SOCK_DGRAM, 0); }
    ~UdpSocket()
    {
        if (sock != INVALID_SOCKET)
            closesocket(sock);
    }
    UdpSocket(const UdpSocket &) = delete;
    UdpSocket &operator=(const UdpSocket &) = delete;

    // Binds to port on every local address (0: any free port); returns the port.
    int bindTo(int port)
    {
        sockaddr_in addr = address(INADDR_ANY, port);
        if (bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == SOCKET_ERROR)
            return -1;
        int len = sizeof addr;
        getsockname(sock, reinterpret_cast<sockaddr *>(&addr), &len);
        return ntohs(addr.sin_port);
    }

    void sendTo(int port, const unsigned char *data, std::size_t len)
    {
        // An empty datagram still needs a valid buffer address.
        static const unsigned char none = 0;
        if (len == 0)
            data = &none;
        sockaddr_in addr = address(INADDR_LOOPBACK, port);
        int sent = sendto(sock, reinterpret_cast<const char *>(data), static_cast<int>(len), 0,
                          reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        ASSERT_EQ(sent, static_cast<int>(len)) << "WSA error " << WSAGetLastError();
    }

    SOCKET sock;

private:
    static sockaddr_in address(u_long host, int port)
    {
        sockaddr_in addr;
        std::memset(&addr, 0, sizeof addr);
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(host);
        addr.sin_port = htons(static_cast<u_short>(port));
        return addr;
    }
};

// A datagram of len bytes whose bytes all carry tag (and the identifier field too).
std::vector<unsigned char> datagram(std::size_t len, unsigned char tag)
{
    return std::vector<unsigned char>(len, tag);
}

// Polls ogRead until it accepts a datagram; false after a generous timeout.
bool readWithin(OutGaugePacket &packet, DWORD timeoutMs = 5000)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (ogRead(packet))
            return true;
        Sleep(5);
    }
    return false;
}

class WindowsReceiver : public testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        sender.reset(new UdpSocket);
        port = testFreeUdpPort();
        ASSERT_GT(port, 0);
        globalSettings.outGaugePort = port;
        testCaptureBegin();
        bool opened = ogInit();
        std::string out = testCaptureEnd();
        ASSERT_TRUE(opened) << out;
        EXPECT_EQ(out, "ogInit: Initializing OutGauge, port " + std::to_string(port) + "...\n");
    }
    void TearDown() override
    {
        closeQuietly();
        configReset();
        sender.reset();
        WSACleanup();
    }

    static void closeQuietly()
    {
        testCaptureBegin();
        ogClose();
        testCaptureEnd();
    }

    // Sends the datagrams in order; each is queued on the receiver when sendto returns.
    void send(std::initializer_list<std::vector<unsigned char>> datagrams)
    {
        for (const auto &d : datagrams)
            sender->sendTo(port, d.data(), d.size());
    }

    int port = 0;
    // Made after WSAStartup, closed before WSACleanup.
    std::unique_ptr<UdpSocket> sender;
};

} // namespace

TEST_F(WindowsReceiver, BurstGivesOneUpdateWithTheLast)
{
    for (unsigned char i = 1; i <= 10; ++i) {
        OutGaugePacket p = testPacket("XRT", 0, 1000.0f * i, 0.5f);
        ogPacketSetId(p, i);
        sender->sendTo(port, p.bytes, sizeof p.bytes);
    }
    OutGaugePacket packet;
    std::memset(&packet, 0, sizeof packet);
    ASSERT_TRUE(readWithin(packet));
    EXPECT_EQ(ogPacketId(packet), 10);
    EXPECT_FLOAT_EQ(ogPacketRpm(packet), 10000.0f);
    // Nothing left: the next read only marks the identifier field.
    EXPECT_FALSE(ogRead(packet));
    EXPECT_EQ(ogPacketId(packet), -1);
    EXPECT_FLOAT_EQ(ogPacketRpm(packet), 10000.0f);
}

TEST_F(WindowsReceiver, ShortAndFullDatagramsAccepted)
{
    OutGaugePacket packet;
    std::memset(&packet, 0xEE, sizeof packet);
    send({datagram(92, 0x11)});
    ASSERT_TRUE(readWithin(packet));
    for (std::size_t i = 0; i < 92; ++i)
        ASSERT_EQ(packet.bytes[i], 0x11) << i;
    // The tail beyond a short datagram is zeroed, not left from before.
    EXPECT_EQ(ogPacketId(packet), 0);

    send({datagram(96, 0x22)});
    ASSERT_TRUE(readWithin(packet));
    for (std::size_t i = 0; i < 96; ++i)
        ASSERT_EQ(packet.bytes[i], 0x22) << i;

    send({datagram(1, 0x33)});
    ASSERT_TRUE(readWithin(packet));
    EXPECT_EQ(packet.bytes[0], 0x33);
    EXPECT_EQ(packet.bytes[1], 0);
}

TEST_F(WindowsReceiver, OversizedAndEmptyDatagramsDroppedWithoutEndingTheDrain)
{
    OutGaugePacket packet;
    std::memset(&packet, 0, sizeof packet);
    // Accepted, then two that must not replace it.
    send({datagram(96, 0x44), datagram(97, 0x55), datagram(0, 0)});
    ASSERT_TRUE(readWithin(packet));
    EXPECT_EQ(packet.bytes[0], 0x44);
    EXPECT_EQ(packet.bytes[95], 0x44);
    EXPECT_FALSE(ogRead(packet));

    // Dropped ones between two good ones: the drain goes on past them, so the
    // call that takes the first good one also takes the last.
    send({datagram(96, 0x44), datagram(97, 0x55), datagram(0, 0), datagram(96, 0x66)});
    ASSERT_TRUE(readWithin(packet));
    EXPECT_EQ(packet.bytes[0], 0x66);
    EXPECT_FALSE(ogRead(packet));

    // Only dropped ones: nothing accepted, only the identifier field marked.
    send({datagram(97, 0x77), datagram(0, 0)});
    OutGaugePacket before = packet;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 300)
        EXPECT_FALSE(ogRead(packet));
    ogPacketSetId(before, -1);
    EXPECT_EQ(std::memcmp(&before, &packet, sizeof packet), 0);
}

TEST_F(WindowsReceiver, ClosedReceiverLeavesThePacketAlone)
{
    testCaptureBegin();
    ogClose();
    ogClose();
    EXPECT_EQ(testCaptureEnd(), "ogClose: Closing OutGauge...\n");

    OutGaugePacket packet;
    std::memset(&packet, 0xAB, sizeof packet);
    send({datagram(96, 0x12)});
    EXPECT_FALSE(ogRead(packet));
    for (unsigned char byte : packet.bytes)
        ASSERT_EQ(byte, 0xAB);
}

TEST_F(WindowsReceiver, InitWhenOpenDoesNothing)
{
    testCaptureBegin();
    EXPECT_TRUE(ogInit());
    EXPECT_EQ(testCaptureEnd(), "");
}

TEST_F(WindowsReceiver, PortInUseFailsAtBind)
{
    closeQuietly();
    UdpSocket holder;
    int held = holder.bindTo(0);
    ASSERT_GT(held, 0);
    globalSettings.outGaugePort = held;

    testCaptureBegin();
    bool opened = ogInit();
    std::string out = testCaptureEnd();
    EXPECT_FALSE(opened);
    EXPECT_EQ(out, "ogInit: Initializing OutGauge, port " + std::to_string(held) +
                       "...\nogInit: Socket bind failed\n");

    OutGaugePacket packet;
    std::memset(&packet, 0x5A, sizeof packet);
    EXPECT_FALSE(ogRead(packet));
    EXPECT_EQ(ogPacketId(packet), 0x5A5A5A5A);
}

TEST_F(WindowsReceiver, PortUsesItsLow16Bits)
{
    closeQuietly();
    globalSettings.outGaugePort = port + 0x10000;
    testCaptureBegin();
    bool opened = ogInit();
    std::string out = testCaptureEnd();
    ASSERT_TRUE(opened) << out;
    // The message shows the configured value in full.
    EXPECT_EQ(out, "ogInit: Initializing OutGauge, port " + std::to_string(port + 0x10000) +
                       "...\n");
    OutGaugePacket packet;
    send({datagram(96, 0x21)});
    ASSERT_TRUE(readWithin(packet));
    EXPECT_EQ(packet.bytes[0], 0x21);
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
