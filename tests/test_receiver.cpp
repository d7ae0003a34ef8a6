// The OutGauge receiver on real loopback UDP: draining, sizes, ports, closing.
#include "outgauge/receiver.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace {

// What the kernel charges a queued small datagram against the receive buffer, with a margin:
// Linux counts each one's whole socket buffer, not its payload (832 bytes for a 32-byte
// datagram on loopback, as rx_queue in /proc/net/udp shows).
constexpr int kChargePerDatagram = 2048;

// Widens the receive buffer of the receiver's socket on port, so that it queues a flood: the
// default buffer of Linux holds only about 256 small datagrams. Root may go past
// net.core.rmem_max. Returns how many small datagrams the buffer holds then, as read back (0
// when the socket was not found); -1 where that is not known: Windows counts payload bytes and
// holds a few hundred small datagrams as it is.
int netWidenReceiveBuffer(int port)
{
#ifndef _WIN32
    for (int fd = 0; fd < 1024; ++fd) {
        int type = 0;
        socklen_t len = sizeof type;
        if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type != SOCK_DGRAM)
            continue;
        sockaddr_in addr;
        len = sizeof addr;
        if (getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0 ||
            addr.sin_family != AF_INET || ntohs(addr.sin_port) != port ||
            addr.sin_addr.s_addr != htonl(INADDR_ANY))
            continue;
        int size = 2 << 20;
        if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        len = sizeof size;
        if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &len) != 0)
            return 0;
        return size / kChargePerDatagram;
    }
    return 0;
#else
    (void)port;
    return -1;
#endif
}

// A datagram of len bytes: the record with the given car and engine speed, cut or zero-padded.
std::vector<unsigned char> datagram(std::size_t len, const char *car, float rpm)
{
    OutGaugePacket p = testPacket(car, 0, rpm, 0.5f);
    ogPacketSetId(&p, 7);
    std::vector<unsigned char> bytes(len, 0);
    // An empty vector may have no storage at all: memcpy must not get its null pointer.
    if (len > 0)
        std::memcpy(bytes.data(), p.bytes, len < OG_PACKET_SIZE ? len : OG_PACKET_SIZE);
    return bytes;
}

OutGaugePacket filled(unsigned char value)
{
    OutGaugePacket p;
    std::memset(p.bytes, value, sizeof p.bytes);
    return p;
}

bool samePacket(const OutGaugePacket &a, const OutGaugePacket &b)
{
    return std::memcmp(a.bytes, b.bytes, OG_PACKET_SIZE) == 0;
}

// Polls until ogRead accepts something or two seconds pass.
bool pollRead(OutGaugePacket &packet, OgExtra *extra = nullptr)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ogRead(&packet, extra))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

constexpr TestFieldType U8 = TEST_U8, U16 = TEST_U16, S32 = TEST_S32, F32 = TEST_F32;

// F1 25 (packetFormat 2025 at 0, gameYear 25 at 2, packetId at 6, the player's index 0) with
// fields of the player's record at 29.
std::vector<unsigned char> f1(double id, std::size_t length, std::initializer_list<TestField> in)
{
    std::vector<unsigned char> d = testDatagram(length, {{0, U16, 2025}, {2, U8, 25}, {6, U8, id}});
    testPutFields(&d, in);
    return d;
}

// Car Telemetry: engineRPM at 16, the rightmost rev light (bit 14 of the word at 20).
std::vector<unsigned char> f1Telemetry(double rpm)
{
    return f1(6, 1352, {{29 + 16, U16, rpm}, {29 + 20, U16, 0x4000}});
}

// Car Status: the pit limiter at 4, fuelInTank 30 at 5 of fuelCapacity 100 at 9, maxRPM at 17.
const std::vector<unsigned char> kF1Status =
    f1(7, 1239, {{29 + 4, U8, 1}, {29 + 5, F32, 30}, {29 + 9, F32, 100}, {29 + 17, U16, 12000}});

// OutGauge's current layout: car XRT, 3000 rpm, fuel 0.75, the shift light available and off.
const std::vector<unsigned char> kOutGauge =
    testDatagram(96, {{4, S32, 0x545258}, {16, F32, 3000}, {28, F32, 0.75}, {40, S32, 1}});

void quietClose()
{
    testCaptureBegin();
    ogClose();
    testCaptureEnd();
}

class Receiver : public testing::Test {
protected:
    void SetUp() override { quietClose(); }

    void TearDown() override { quietClose(); }

    // Opens the receiver on a free port, retrying if another program takes it first.
    bool openOnFreePort()
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            port = testFreeUdpPort();
            testCaptureBegin();
            bool ok = ogInit(port);
            std::string out = testCaptureEnd();
            if (ok) {
                EXPECT_EQ(out,
                          "ogInit: Initializing OutGauge, port " + std::to_string(port) + "...\n");
                return true;
            }
        }
        return false;
    }

    bool send(const std::vector<unsigned char> &bytes) { return sender.send(port, bytes); }

    TestUdp sender;
    int port = 0;
};

} // namespace

TEST_F(Receiver, BurstBetweenPollsYieldsOnlyTheNewest)
{
    ASSERT_TRUE(openOnFreePort());
    for (int i = 1; i <= 10; ++i)
        ASSERT_TRUE(send(datagram(96, "XR", static_cast<float>(i))));

    OutGaugePacket p = filled(0);
    ASSERT_TRUE(pollRead(p));
    EXPECT_FLOAT_EQ(ogPacketRpm(p), 10.0f);
    std::vector<unsigned char> tenth = datagram(96, "XR", 10.0f);
    EXPECT_EQ(std::memcmp(p.bytes, tenth.data(), OG_PACKET_SIZE), 0);
    EXPECT_FALSE(ogRead(&p)) << "the whole burst was taken in one call";
}

TEST_F(Receiver, NothingQueuedOnlyPresetsTheIdentifier)
{
    ASSERT_TRUE(openOnFreePort());
    OutGaugePacket p = filled(0x5A);
    EXPECT_FALSE(ogRead(&p));
    OutGaugePacket expected = filled(0x5A);
    ogPacketSetId(&expected, -1);
    EXPECT_TRUE(samePacket(p, expected));
}

TEST_F(Receiver, ClosedReceiverLeavesThePacketUntouched)
{
    OutGaugePacket p = filled(0x5A);
    EXPECT_FALSE(ogRead(&p)) << "before any ogInit";
    EXPECT_TRUE(samePacket(p, filled(0x5A)));

    ASSERT_TRUE(openOnFreePort());
    ASSERT_TRUE(send(datagram(96, "FZ5", 1.0f)));
    quietClose();
    EXPECT_FALSE(ogRead(&p)) << "after ogClose, with a datagram that was queued";
    EXPECT_TRUE(samePacket(p, filled(0x5A)));
}

TEST_F(Receiver, AcceptsOneTo96Bytes)
{
    ASSERT_TRUE(openOnFreePort());
    OutGaugePacket p = filled(0);

    ASSERT_TRUE(send(datagram(96, "RB4", 96.0f)));
    ASSERT_TRUE(pollRead(p));
    EXPECT_EQ(ogPacketId(p), 7);
    EXPECT_FLOAT_EQ(ogPacketRpm(p), 96.0f);

    // The layout without its optional identifier; the bytes past it are zeroed.
    ASSERT_TRUE(send(datagram(92, "FXO", 92.0f)));
    ASSERT_TRUE(pollRead(p));
    char car[OG_CAR_NAME_SIZE];
    ogPacketCarName(p, car);
    EXPECT_STREQ(car, "FXO");
    EXPECT_FLOAT_EQ(ogPacketRpm(p), 92.0f);
    EXPECT_EQ(ogPacketId(p), 0);

    std::vector<unsigned char> one(1, 0xC3);
    ASSERT_TRUE(send(one));
    ASSERT_TRUE(pollRead(p));
    OutGaugePacket expected = filled(0);
    expected.bytes[0] = 0xC3;
    EXPECT_TRUE(samePacket(p, expected));
}

// A longer datagram (one sender appends fields after the identifier) is taken by its first
// 96 bytes; an empty one is dropped.
TEST_F(Receiver, TakesLongerDatagramsByTheirFirst96BytesAndDropsEmptyOnes)
{
    ASSERT_TRUE(openOnFreePort());
    OutGaugePacket p = filled(0x5A);

    // Alone: nothing is accepted and the record keeps its content.
    ASSERT_TRUE(send(datagram(0, "", 0.0f)));
    EXPECT_FALSE(ogRead(&p));
    OutGaugePacket expected = filled(0x5A);
    ogPacketSetId(&expected, -1);
    EXPECT_TRUE(samePacket(p, expected));

    const std::vector<unsigned char> beam = testDatagramFile("datagram_beamng.hex");
    ASSERT_EQ(beam.size(), 109u);
    ASSERT_TRUE(send(beam));
    ASSERT_TRUE(pollRead(p));
    EXPECT_EQ(std::memcmp(p.bytes, beam.data(), OG_PACKET_SIZE), 0);

    // Longer and empty datagrams in one drain: the newest that is not empty survives.
    ASSERT_TRUE(send(datagram(96, "OK", 96.0f)));
    ASSERT_TRUE(send(datagram(1500, "HUGE", 1500.0f)));
    ASSERT_TRUE(send(datagram(0, "", 0.0f)));
    ASSERT_TRUE(pollRead(p));
    EXPECT_EQ(std::memcmp(p.bytes, datagram(1500, "HUGE", 1500.0f).data(), OG_PACKET_SIZE), 0);
    EXPECT_FALSE(ogRead(&p));
}

// A port held by another program fails the bind and is tried again, quietly, once a second of
// the tick count the loop passes; closing ends the trying.
TEST_F(Receiver, PortHeldByAnotherProgramIsTriedAgainEverySecond)
{
    auto holder = std::make_unique<TestUdp>(0);
    ASSERT_TRUE(holder->ok());
    port = holder->port();
    const std::string shown = std::to_string(port);
    testCaptureBegin();
    EXPECT_FALSE(ogInit(port));
    EXPECT_EQ(testCaptureEnd(),
              "ogInit: Initializing OutGauge, port " + shown +
                  "...\nogInit: Socket bind failed\nogInit: Port " + shown +
                  " is in use by another program; trying again every second...\n");

    // Nothing is open while it waits: reads fail and leave the packet untouched.
    OutGaugePacket p = filled(1);
    EXPECT_FALSE(ogRead(&p));
    EXPECT_TRUE(samePacket(p, filled(1)));
    testCaptureBegin();
    EXPECT_FALSE(ogRetry(4294967000u)); // starts the count, across the wrap
    EXPECT_FALSE(ogRetry(4294967295u));
    EXPECT_FALSE(ogRetry(704u)); // a second later: tried, still held
    holder.reset();
    EXPECT_FALSE(ogRetry(1703u));
    EXPECT_TRUE(ogRetry(1704u));
    EXPECT_EQ(testCaptureEnd(),
              "ogInit: Port " + shown + " is free now: receiving OutGauge data\n");
    EXPECT_TRUE(ogIsOpen());
    ASSERT_TRUE(send(datagram(96, "XRT", 0.0f)));
    EXPECT_TRUE(pollRead(p));
    EXPECT_FALSE(ogRetry(9000u));

    // Closed while it waits: never opened again.
    quietClose();
    holder = std::make_unique<TestUdp>(port);
    ASSERT_TRUE(holder->ok());
    testCaptureBegin();
    EXPECT_FALSE(ogInit(port));
    testCaptureEnd();
    testCaptureBegin();
    ogClose();
    holder.reset();
    EXPECT_FALSE(ogRetry(20000u));
    EXPECT_FALSE(ogRetry(30000u));
    EXPECT_EQ(testCaptureEnd(), "");
    EXPECT_FALSE(ogIsOpen());
}

TEST_F(Receiver, BindsEveryAddressAndTheLow16BitsOfThePort)
{
    const int offsets[] = {65536, -65536, 3 * 65536};
    for (int offset : offsets) {
        int low = 0;
        bool ok = false;
        std::string out;
        for (int attempt = 0; attempt < 5 && !ok; ++attempt) {
            low = testFreeUdpPort();
            testCaptureBegin();
            ok = ogInit(low + offset);
            out = testCaptureEnd();
        }
        ASSERT_TRUE(ok) << out;
        EXPECT_EQ(out,
                  "ogInit: Initializing OutGauge, port " + std::to_string(low + offset) + "...\n");
        port = low;
        ASSERT_TRUE(send(datagram(96, "LOW", 1.0f)));
        OutGaugePacket p = filled(0);
        EXPECT_TRUE(pollRead(p)) << "offset " << offset;
        // Bound to every local address: a datagram to another loopback address comes in too.
        std::vector<unsigned char> other = datagram(96, "ANY", 2.0f);
        ASSERT_TRUE(sender.send(port, other.data(), other.size(), "127.0.0.2"));
        EXPECT_TRUE(pollRead(p)) << "offset " << offset;
        quietClose();
    }
}

TEST_F(Receiver, InitTwiceAndCloseTwice)
{
    ASSERT_TRUE(openOnFreePort());
    testCaptureBegin();
    bool again = ogInit(port);
    std::string out = testCaptureEnd();
    EXPECT_TRUE(again);
    EXPECT_EQ(out, "") << "the second init does nothing";

    // Still the same socket on the same port.
    ASSERT_TRUE(send(datagram(96, "TWO", 2.0f)));
    OutGaugePacket p = filled(0);
    EXPECT_TRUE(pollRead(p));

    testCaptureBegin();
    ogClose();
    ogClose();
    EXPECT_EQ(testCaptureEnd(), "ogClose: Closing OutGauge...\n");

    // The port is free again once closed.
    EXPECT_TRUE(TestUdp(port).ok());
}

TEST_F(Receiver, OneCallTakesAtMostTheDrainLimit)
{
    ASSERT_TRUE(openOnFreePort());
    // More than one call's limit and at most two calls' worth, all of it held by the buffer.
    const int holds = netWidenReceiveBuffer(port);
    ASSERT_NE(holds, 0) << "the receiver's socket was not found";
    if (holds > 0 && holds <= OG_DRAIN_LIMIT)
        GTEST_SKIP() << "without the right to widen it, the receive buffer holds only " << holds
                     << " small datagrams, no more than one call's limit";
    const int total = holds < 0 ? OG_DRAIN_LIMIT + 44 : std::min(OG_DRAIN_LIMIT + 44, holds);
    for (int i = 0; i < total; ++i)
        ASSERT_TRUE(send(datagram(32, "SEQ", static_cast<float>(i))));

    OutGaugePacket p = filled(0);
    ASSERT_TRUE(pollRead(p));
    int first = static_cast<int>(ogPacketRpm(p));
    EXPECT_LE(first, OG_DRAIN_LIMIT - 1) << "more than the limit was taken in one call";

    int last = first;
    int trueCalls = 1;
    while (ogRead(&p)) {
        last = static_cast<int>(ogPacketRpm(p));
        ++trueCalls;
    }
    // Where the buffer's size is not known, the system may have dropped what did not fit.
    if (holds < 0 && last != total - 1)
        GTEST_SKIP() << "receive buffer held only part of the flood (newest " << last << ")";
    EXPECT_EQ(last, total - 1) << "the buffer dropped part of the flood";
    EXPECT_EQ(first, OG_DRAIN_LIMIT - 1);
    EXPECT_EQ(trueCalls, 2);
}

TEST_F(Receiver, CloseFromAnotherThreadDuringReads)
{
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(openOnFreePort());
        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        int target = port;
        std::thread feeder([&] {
            TestUdp s;
            std::vector<unsigned char> d = datagram(96, "THR", 1.0f);
            // Paced by the reads: two datagrams per read, so most reads find
            // something to take. A flat-out flood would make every read drain
            // the full limit, which under Wine costs tens of milliseconds.
            int sentAt = -1;
            while (!stop.load()) {
                int r = reads.load();
                if (r == sentAt) {
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                    continue;
                }
                s.send(target, d);
                s.send(target, d);
                sentAt = r;
            }
        });
        std::thread closer([&] {
            // Sleeps rather than spins: a spinning thread starves the reads
            // on a two-core machine.
            while (reads.load() < 50)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            ogClose();
        });

        testCaptureBegin();
        OutGaugePacket p = filled(0);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int afterClose = 0;
        while (afterClose < 50 && std::chrono::steady_clock::now() < deadline) {
            if (!ogRead(&p) && reads.load() >= 50)
                ++afterClose;
            reads.fetch_add(1);
        }
        closer.join();
        stop.store(true);
        feeder.join();
        std::string out = testCaptureEnd();

        EXPECT_EQ(out, "ogClose: Closing OutGauge...\n");
        OutGaugePacket before = p;
        EXPECT_FALSE(ogRead(&p));
        EXPECT_TRUE(samePacket(p, before));
    }
}

// F1 and OutGauge on one port: each read leaves the newest, and F1's two packets merge across an
// OutGauge datagram between them.
TEST_F(Receiver, F1AndOutGaugeInterleaved)
{
    ASSERT_TRUE(openOnFreePort());
    OutGaugePacket p = filled(0);
    OgExtra extra = {"OLD", 1.0f, false};
    char car[OG_CAR_NAME_SIZE];
    ASSERT_TRUE(send(f1Telemetry(9500)) && pollRead(p, &extra));
    ogCarName(p, extra, car);
    EXPECT_STREQ(car, "F125");
    EXPECT_EQ(ogPacketRpm(p), 9500.0f);
    EXPECT_EQ(ogPacketLightsOn(p), OG_DL_SHIFT);

    ASSERT_TRUE(send(kOutGauge) && pollRead(p, &extra));
    EXPECT_EQ(std::memcmp(p.bytes, kOutGauge.data(), OG_PACKET_SIZE), 0);
    EXPECT_TRUE(extra.car[0] == '\0' && std::isnan(extra.maxRpm) && extra.ownShiftLight);

    ASSERT_TRUE(send(kF1Status) && pollRead(p, &extra));
    ogCarName(p, extra, car);
    EXPECT_STREQ(car, "F125");
    EXPECT_EQ(ogPacketRpm(p), 9500.0f);
    EXPECT_FLOAT_EQ(ogPacketFuel(p), 0.3f);
    EXPECT_EQ(extra.maxRpm, 12000.0f);
    EXPECT_EQ(ogPacketLightsOn(p), OG_DL_SHIFT | OG_DL_PITSPEED);

    // In one drain: the newest, the status, with the telemetry before it.
    ASSERT_TRUE(send(f1Telemetry(8000)) && send(kOutGauge) && send(kF1Status));
    ASSERT_TRUE(pollRead(p, &extra));
    EXPECT_TRUE(ogPacketRpm(p) == 8000.0f && extra.maxRpm == 12000.0f);

    // Opened again (a new port): the old Car Status is forgotten.
    quietClose();
    ASSERT_TRUE(openOnFreePort());
    ASSERT_TRUE(send(f1Telemetry(8000)) && pollRead(p, &extra));
    EXPECT_EQ(ogPacketLightsOn(p), OG_DL_SHIFT);
    EXPECT_TRUE(std::isnan(extra.maxRpm));
}

// The line about F1's format 2022 is printed once a process, however many such datagrams come:
// once unless a test before it in the process (a repeated run; Windows runs them all in one)
// saw it.
TEST_F(Receiver, OldF1FormatToldOncePerRun)
{
    static bool toldBefore = false;
    ASSERT_TRUE(openOnFreePort());
    // F1 22's header: packetFormat at 0, packetId at 5; Car Telemetry 1347, Car Status 1058.
    const auto telemetry = testDatagram(1347, {{0, U16, 2022}, {5, U8, 6}});
    const auto status = testDatagram(1058, {{0, U16, 2022}, {5, U8, 7}});
    OutGaugePacket p = filled(0);
    testCaptureBegin();
    for (int round = 0; round < 3; ++round) {
        const bool read = send(telemetry) && send(status) && send(f1Telemetry(1)) && pollRead(p);
        EXPECT_TRUE(read);
    }
    const std::string out = testCaptureEnd();
    EXPECT_EQ(out, toldBefore ? ""
                              : "ogRead: F1 sends UDP Format 2022, which is not read: set UDP "
                                "Format to 2023 or later in the game's UDP Telemetry Settings\n");
    toldBefore = toldBefore || !out.empty();
}
