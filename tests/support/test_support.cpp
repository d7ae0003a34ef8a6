// Helpers shared by the tests.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

std::string testTempDir(const std::string &tag)
{
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path dir = fs::temp_directory_path() /
                   ("lumivane-" + tag + "-" + std::to_string(stamp) + "-" +
                    std::to_string(counter.fetch_add(1)));
    fs::create_directories(dir);
    return dir.string();
}

void testWriteFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string testReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int testFreeUdpPort()
{
#ifdef _WIN32
    static bool started = false;
    if (!started) {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
#else
    int s = socket(AF_INET, SOCK_DGRAM, 0);
#endif
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
#ifdef _WIN32
    closesocket(s);
#else
    close(s);
#endif
    return port;
}

OutGaugePacket testPacket(const char *car, unsigned flags, float rpm, float fuel)
{
    OutGaugePacket p;
    std::memset(&p, 0, sizeof p);
    ogPacketSetCarName(p, car);
    ogPacketSetFlags(p, static_cast<std::uint16_t>(flags));
    ogPacketSetRpm(p, rpm);
    ogPacketSetFuel(p, fuel);
    return p;
}

void testCaptureBegin() { testing::internal::CaptureStdout(); }

std::string testCaptureEnd() { return testing::internal::GetCapturedStdout(); }
