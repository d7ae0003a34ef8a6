// Helpers shared by the tests.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

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
