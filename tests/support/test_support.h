// Helpers shared by the tests and the benchmarks on every platform: folders and files, the
// configuration file, the clock, a UDP socket of the test's own, datagrams, captured output
// and the start-up transcript.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/clock.h"
#include "rules/config.h"
#include "outgauge/packet.h"

// A new empty folder under the system's temporary folder.
std::string testTempDir(const std::string &tag);

// Writes content to path exactly as given (binary); false when that fails.
bool testWriteFile(const std::string &path, const std::string &content);

// Reads a whole file; empty when it cannot be read.
std::string testReadFile(const std::string &path);

// Writes text as lumivane.cfg in dir and returns the file's path.
std::string testWriteConfig(const std::string &dir, const std::string &text);

// A [config] section that sets outGaugePort to port, followed by extra.
std::string testConfigText(int port, const std::string &extra = "");

// A clock whose count is *ticks: it stays until the test or a pause moves it. Atomic, as the
// console handler pauses on its own thread while the loop reads the count.
AppClock testClock(std::atomic<std::uint32_t> *ticks);

// The profile of car and the settings of [config] in the file at path, read as the program
// reads them (one load each).
CarProfile testProfileOf(const std::string &path, const char *car);
GlobalSettings testGlobalsOf(const std::string &path);

// The monotonic clock, in nanoseconds and in milliseconds.
std::int64_t testNowNs();
long long testNowMs();

// A UDP socket of the test's own: a sender, or the holder of a port. Closed when destroyed.
class TestUdp {
public:
    // bindPort -1: not bound (a sender); 0: bound to any free port; otherwise bound to that
    // port; always on every local IPv4 address.
    explicit TestUdp(int bindPort = -1);
    ~TestUdp();
    TestUdp(const TestUdp &) = delete;
    TestUdp &operator=(const TestUdp &) = delete;

    // Whether the socket exists (and, when asked for, was bound).
    bool ok() const { return ok_; }

    // The bound port; 0 when not bound.
    int port() const;

    // Sends one datagram to host:port; true when all of it went out.
    bool send(int port, const void *data, std::size_t len, const char *host = "127.0.0.1");
    bool send(int port, const std::vector<unsigned char> &bytes)
    {
        return send(port, bytes.data(), bytes.size());
    }
    bool send(int port, const OutGaugePacket &packet)
    {
        return send(port, packet.bytes, sizeof packet.bytes);
    }

private:
    std::intptr_t fd_;
    bool ok_ = false;
};

// A UDP port on this machine that was free a moment ago.
int testFreeUdpPort();

// A record of zeros with the given fields.
OutGaugePacket testPacket(const char *car, unsigned flags, float rpm, float fuel);

// One field of a datagram built byte by byte from a format's published table: its offset, its
// little-endian type and its value.
enum TestFieldType { TEST_U8, TEST_U16, TEST_S32, TEST_F32 };
struct TestField {
    std::size_t offset;
    TestFieldType type;
    double value;
};

// Writes fields over bytes, in order.
void testPutFields(std::vector<unsigned char> *bytes, std::initializer_list<TestField> fields);

// A datagram of length zero bytes with fields written over them.
std::vector<unsigned char> testDatagram(std::size_t length,
                                        std::initializer_list<TestField> fields);

// The bytes of a datagram kept as hex text in tests/data: pairs of hex digits, each line's
// text after '#' a comment.
std::vector<unsigned char> testDatagramFile(const std::string &name);

// Starts and ends capturing the program's standard output.
void testCaptureBegin();
std::string testCaptureEnd();

// Whether the Windows build runs under Wine, whose profile API departs from Windows here
// and there.
bool testIsWine();

// Expects the four codes and the threshold of a resolved profile.
void expectProfile(const CarProfile &p, LedAction l1, LedAction l2, LedAction l1b, LedAction l2b,
                   float lowFuel);

// Expects the settings the program uses when [config] leaves them out.
void expectDefaultGlobals(const GlobalSettings &g);

// The lines the program prints at start-up up to its search for the device: the banner,
// the configuration file, the port and the device ID (tests/data/startup.txt).
std::vector<std::string> testStartupLines(const std::string &configPath, long long port,
                                          unsigned deviceId = 0xCA03);
