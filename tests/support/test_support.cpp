// Helpers shared by the tests and the benchmarks on every platform.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
using TestSocketLength = int;
constexpr int TEST_SOCK_CLOEXEC = 0;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#define closesocket close
using TestSocketLength = socklen_t;
// The programs that tests start must not inherit the test's sockets: a port the test frees
// would stay held by the program.
constexpr int TEST_SOCK_CLOEXEC = SOCK_CLOEXEC;
#endif

namespace fs = std::filesystem;

namespace {

// Starts the socket library once, where there is one to start.
void netStart()
{
#ifdef _WIN32
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
#endif
}

sockaddr_in netAddress(const char *host, int port)
{
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = host != nullptr ? inet_addr(host) : htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    return addr;
}

} // namespace

std::string testTempDir(const std::string &tag)
{
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path dir = fs::temp_directory_path() / ("lumivane-" + tag + "-" + std::to_string(stamp) +
                                                "-" + std::to_string(counter.fetch_add(1)));
    fs::create_directories(dir);
    return dir.string();
}

bool testWriteFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out);
}

std::string testReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string testWriteConfig(const std::string &dir, const std::string &text)
{
    std::string path = (fs::path(dir) / "lumivane.cfg").string();
    testWriteFile(path, text);
    return path;
}

std::string testConfigText(int port, const std::string &extra)
{
    return "[config]\noutGaugePort=" + std::to_string(port) + "\n" + extra;
}

std::int64_t testNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

long long testNowMs()
{
    return testNowNs() / 1000000;
}

TestUdp::TestUdp(int bindPort)
{
    netStart();
    fd_ = static_cast<std::intptr_t>(socket(AF_INET, SOCK_DGRAM | TEST_SOCK_CLOEXEC, 0));
    ok_ = fd_ != -1;
    if (ok_ && bindPort >= 0) {
        sockaddr_in addr = netAddress(nullptr, bindPort);
        ok_ = bind(fd_, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0;
    }
}

TestUdp::~TestUdp()
{
    if (fd_ != -1)
        closesocket(fd_);
}

int TestUdp::port() const
{
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    TestSocketLength len = sizeof addr;
    if (fd_ == -1 || getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

bool TestUdp::send(int port, const void *data, std::size_t len, const char *host)
{
    // An empty datagram still needs a valid buffer address.
    static const char none = 0;
    if (len == 0)
        data = &none;
    sockaddr_in to = netAddress(host, port);
    auto n = sendto(fd_, static_cast<const char *>(data), static_cast<int>(len), 0,
                    reinterpret_cast<const sockaddr *>(&to), sizeof to);
    return n >= 0 && static_cast<std::size_t>(n) == len;
}

int testFreeUdpPort()
{
    return TestUdp(0).port();
}

OutGaugePacket testPacket(const char *car, unsigned flags, float rpm, float fuel)
{
    OutGaugePacket p;
    std::memset(&p, 0, sizeof p);
    ogPacketSetCarName(&p, car);
    ogPacketSetFlags(&p, static_cast<std::uint16_t>(flags));
    ogPacketSetRpm(&p, rpm);
    ogPacketSetFuel(&p, fuel);
    return p;
}

void testPutFields(std::vector<unsigned char> *bytes, std::initializer_list<TestField> fields)
{
    for (const TestField &f : fields) {
        std::uint32_t bits = 0;
        std::size_t size = 4;
        if (f.type == TEST_F32) {
            const float value = static_cast<float>(f.value);
            std::memcpy(&bits, &value, sizeof bits);
        } else {
            bits = static_cast<std::uint32_t>(static_cast<std::int64_t>(f.value));
            size = f.type == TEST_U8 ? 1 : f.type == TEST_U16 ? 2 : 4;
        }
        EXPECT_LE(f.offset + size, bytes->size()) << "field at " << f.offset;
        for (std::size_t i = 0; i < size && f.offset + i < bytes->size(); ++i)
            (*bytes)[f.offset + i] = static_cast<unsigned char>(bits >> (8 * i));
    }
}

std::vector<unsigned char> testDatagram(std::size_t length, std::initializer_list<TestField> fields)
{
    std::vector<unsigned char> bytes(length, 0);
    testPutFields(&bytes, fields);
    return bytes;
}

std::vector<unsigned char> testDatagramFile(const std::string &name)
{
    std::istringstream text(testReadFile(std::string(LUMIVANE_TEST_DATA "/") + name));
    std::vector<unsigned char> bytes;
    for (std::string line; std::getline(text, line);) {
        std::istringstream hex(line.substr(0, line.find('#')));
        for (std::string pair; hex >> pair;)
            bytes.push_back(static_cast<unsigned char>(std::stoul(pair, nullptr, 16)));
    }
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

void testCaptureBegin()
{
    testing::internal::CaptureStdout();
}

std::string testCaptureEnd()
{
    return testing::internal::GetCapturedStdout();
}

bool testIsWine()
{
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

void expectProfile(const CarProfile &p, LedAction l1, LedAction l2, LedAction l1b, LedAction l2b,
                   float lowFuel)
{
    EXPECT_EQ(p.codes[CAR_LED1], l1);
    EXPECT_EQ(p.codes[CAR_LED2], l2);
    EXPECT_EQ(p.codes[CAR_LED1B], l1b);
    EXPECT_EQ(p.codes[CAR_LED2B], l2b);
    EXPECT_FLOAT_EQ(p.lowFuel, lowFuel);
}

namespace {

std::uint32_t testClockTicks(const void *context)
{
    return static_cast<const std::atomic<std::uint32_t> *>(context)->load();
}

void testClockSleep(void *context, std::uint32_t ms)
{
    static_cast<std::atomic<std::uint32_t> *>(context)->fetch_add(ms);
}

} // namespace

AppClock testClock(std::atomic<std::uint32_t> *ticks)
{
    return AppClock{testClockTicks, testClockSleep, ticks};
}

CarProfile testProfileOf(const std::string &path, const char *car)
{
    ProfileFile file;
    profileLoad(path.c_str(), &file);
    CarProfile p;
    configResolveProfile(file, car, &p, nullptr);
    profileRelease(&file);
    return p;
}

GlobalSettings testGlobalsOf(const std::string &path)
{
    ProfileFile file;
    profileLoad(path.c_str(), &file);
    GlobalSettings g;
    configReadGlobals(file, &g);
    profileRelease(&file);
    return g;
}

void expectDefaultGlobals(const GlobalSettings &g)
{
    EXPECT_EQ(g.outGaugePort, 56551);
    EXPECT_EQ(g.deviceID, 0xCA03);
    EXPECT_EQ(g.deviceNum, 0);
    EXPECT_EQ(g.speedlimitFlashTime, 200);
    EXPECT_EQ(g.shiftlightFlashTime, 200);
    EXPECT_EQ(g.lowfuelFlashTime, 1000);
}

std::vector<std::string> testStartupLines(const std::string &configPath, long long port,
                                          unsigned deviceId)
{
    char device[16];
    std::snprintf(device, sizeof device, "%04X", deviceId);
    const std::pair<std::string, std::string> fields[] = {
        {"{config}", configPath}, {"{port}", std::to_string(port)}, {"{device}", device}};
    std::istringstream text(testReadFile(LUMIVANE_TEST_DATA "/startup.txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        for (const auto &field : fields) {
            std::size_t at = line.find(field.first);
            if (at != std::string::npos)
                line.replace(at, field.first.size(), field.second);
        }
        lines.push_back(line);
    }
    EXPECT_EQ(lines.size(), 7u) << "tests/data/startup.txt";
    return lines;
}
