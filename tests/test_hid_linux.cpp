// The hidraw backend against a stand-in hidraw tree.
#include "hid/hid.h"
#include "support/hidraw_tree.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char INIT_CA03[] = "initHID: Initializing HID (Device ID 0xCA03)...HID GUID: 4D1E55B2\n";
const char FOUND[] = "initHID: Device found.\n";
const char NOT_FOUND[] = "initHID: Device not found.\n";

class HidLinux : public testing::Test {
protected:
    HidrawTree tree;
    int reader = -1;

    void SetUp() override { tree = hidrawTreeCreate("hid"); }
    void TearDown() override
    {
        closeHID();
        if (reader >= 0)
            close(reader);
        hidrawTreeRemove(tree);
    }

    void add(unsigned n, std::uint32_t vendor, std::uint32_t product,
             HidrawNode node = HIDRAW_NODE_FIFO)
    {
        ASSERT_TRUE(hidrawTreeAddDevice(tree, n, 3, vendor, product, node));
    }

    // initHID on the tree with its printed transcript.
    bool init(std::int32_t productId, std::int32_t index, std::string *out)
    {
        testCaptureBegin();
        bool ok = initHID(productId, index, hidrawTreePlaces(tree));
        *out = testCaptureEnd();
        return ok;
    }

    // Opens node n for reading without blocking; the reports written so far stay in the pipe.
    void openReader(unsigned n)
    {
        reader = open(hidrawTreeNodePath(tree, n).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0) << std::strerror(errno);
    }

    // Everything waiting in the FIFO.
    std::string drain()
    {
        std::string data;
        char buf[256];
        ssize_t n;
        while ((n = read(reader, buf, sizeof buf)) > 0)
            data.append(buf, static_cast<std::size_t>(n));
        return data;
    }

    // Which of the FIFO nodes the open device is: writes one report and looks for it.
    bool opened(unsigned n)
    {
        int fd = open(hidrawTreeNodePath(tree, n).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        char buf[64];
        while (read(fd, buf, sizeof buf) > 0) {
        }
        bool wrote = hidSetLeds(true, true);
        ssize_t got = read(fd, buf, sizeof buf);
        close(fd);
        return wrote && got == 8;
    }
};

// Whether this process holds a descriptor open on target (the device as the system sees it).
bool holdsOpen(const std::string &target)
{
    for (const auto &fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(fd.path(), ec) == target)
            return true;
    }
    return false;
}

std::string report(unsigned char bits)
{
    return std::string("\x00\x09", 2) + static_cast<char>(bits) + std::string(5, '\0');
}

TEST_F(HidLinux, TranscriptOfFoundDevice)
{
    add(0, 0x046D, 0xCA03);
    std::string out;
    EXPECT_TRUE(init(0xCA03, 0, &out));
    EXPECT_EQ(out, std::string(INIT_CA03) + FOUND);
    EXPECT_TRUE(opened(0));
}

TEST_F(HidLinux, NoDevicesOrNoClassFolder)
{
    std::string out;
    EXPECT_FALSE(init(0xCA03, 0, &out));
    EXPECT_EQ(out, std::string(INIT_CA03) + NOT_FOUND);

    const std::string nowhere = tree.root + "/nowhere";
    testCaptureBegin();
    EXPECT_FALSE(initHID(0xCA03, 0, HidPlaces{nowhere.c_str(), tree.devDir.c_str(), nullptr}));
    out = testCaptureEnd();
    EXPECT_EQ(out, std::string(INIT_CA03) + NOT_FOUND);
    EXPECT_FALSE(hidSetLeds(true, true));
}

TEST_F(HidLinux, OtherVendorsAndProductsDoNotCount)
{
    add(0, 0x1234, 0xCA03);
    add(1, 0x046D, 0xC52B);
    // Product 1CA03 shares its low 16 bits with CA03.
    ASSERT_TRUE(hidrawTreeAddDevice(tree, 2, 3, 0x046D, 0xCA03, HIDRAW_NODE_FIFO,
                                    "HID_ID=0003:0000046D:0001CA03\n"));
    add(3, 0x046D, 0xCA03);
    // A parent whose uevent has no HID_ID line cannot be read: no match.
    ASSERT_TRUE(
        hidrawTreeAddDevice(tree, 4, 3, 0x046D, 0xCA03, HIDRAW_NODE_FIFO, "DRIVER=hid-generic\n"));
    add(5, 0x046D, 0xCA03);
    std::string out;
    EXPECT_TRUE(init(0xCA03, 0, &out));
    EXPECT_TRUE(opened(3));
    EXPECT_TRUE(closeHID());
    EXPECT_TRUE(init(0xCA03, 1, &out));
    EXPECT_EQ(out, std::string(INIT_CA03) + FOUND);
    EXPECT_TRUE(opened(5));
    EXPECT_TRUE(closeHID());
    EXPECT_FALSE(init(0xCA03, 2, &out));
    EXPECT_EQ(out, std::string(INIT_CA03) + NOT_FOUND);
}

TEST_F(HidLinux, IndexCountsMatchesInOrder)
{
    add(0, 0x046D, 0xCA03);
    add(1, 0x046D, 0xCA03);
    std::string out;
    EXPECT_TRUE(init(0xCA03, 0, &out));
    EXPECT_TRUE(opened(0));
    EXPECT_TRUE(closeHID());
    EXPECT_TRUE(init(0xCA03, 1, &out));
    EXPECT_TRUE(opened(1));
    EXPECT_TRUE(closeHID());
    EXPECT_FALSE(init(0xCA03, 2, &out));
    EXPECT_EQ(out, std::string(INIT_CA03) + NOT_FOUND);
    EXPECT_FALSE(init(0xCA03, -1, &out));
    EXPECT_EQ(out, std::string(INIT_CA03) + NOT_FOUND);
}

TEST_F(HidLinux, NumericOrderOfEntries)
{
    // Created out of order so that directory order says nothing.
    add(10, 0x046D, 0xCA03);
    add(2, 0x046D, 0xCA03);
    add(9, 0x046D, 0xCA03);
    // Names that are no hidraw entries are ignored.
    testWriteFile(hidrawTreeClassDir(tree) + "/hidrawx", "");
    testWriteFile(hidrawTreeClassDir(tree) + "/hidraw", "");
    std::string out;
    const unsigned order[] = {2, 9, 10};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(init(0xCA03, i, &out)) << i;
        EXPECT_TRUE(opened(order[i])) << i;
        EXPECT_TRUE(closeHID());
    }
}

TEST_F(HidLinux, ReportsReachTheNode)
{
    add(0, 0x046D, 0xCA03);
    std::string out;
    ASSERT_TRUE(init(0xCA03, 0, &out));
    openReader(0);
    EXPECT_TRUE(hidSetLeds(true, false));
    EXPECT_EQ(drain(), report(1));
    EXPECT_TRUE(hidSetLeds(false, true));
    EXPECT_EQ(drain(), report(2));
    EXPECT_TRUE(hidSetLeds(true, true));
    EXPECT_TRUE(hidSetLeds(false, false));
    EXPECT_EQ(drain(), report(3) + report(0));
}

TEST_F(HidLinux, NodeThatCannotBeOpenedIsSkipped)
{
    add(0, 0x046D, 0xCA03, HIDRAW_NODE_MISSING);
    add(1, 0x046D, 0xCA03, HIDRAW_NODE_DIRECTORY);
    add(2, 0x046D, 0xCA03);
    std::string out;
    EXPECT_TRUE(init(0xCA03, 0, &out));
    const std::string dev = hidrawTreeDevDir(tree);
    EXPECT_EQ(out, std::string("initHID: Initializing HID (Device ID 0xCA03)...") +
                       "HID GUID: 4D1E55B2\n" + "initHID: Cannot open " + dev +
                       "/hidraw0: No such file or directory\n" + "initHID: Cannot open " + dev +
                       "/hidraw1: Is a directory\n" + FOUND);
    EXPECT_TRUE(opened(2));
    EXPECT_TRUE(closeHID());
    // Nodes that cannot be opened do not count toward the index either.
    add(3, 0x046D, 0xCA03);
    EXPECT_TRUE(init(0xCA03, 1, &out));
    EXPECT_TRUE(opened(3));
}

TEST_F(HidLinux, FailedWriteReturnsFalse)
{
    add(0, 0x046D, 0xCA03, HIDRAW_NODE_FULL);
    std::string out;
    ASSERT_TRUE(init(0xCA03, 0, &out));
    EXPECT_FALSE(hidSetLeds(true, false));
    // The device stays open after a failed write.
    EXPECT_TRUE(closeHID());
}

TEST_F(HidLinux, OpenAndCloseStates)
{
    add(0, 0x046D, 0xCA03);
    EXPECT_FALSE(hidSetLeds(true, true));
    EXPECT_FALSE(closeHID());
    std::string out;
    ASSERT_TRUE(init(0xCA03, 0, &out));
    // Already open: true at once, nothing printed, the same device kept.
    add(1, 0x046D, 0xCA04);
    EXPECT_TRUE(init(0xCA04, 0, &out));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(opened(0));
    EXPECT_TRUE(closeHID());
    EXPECT_FALSE(closeHID());
    EXPECT_FALSE(hidSetLeds(true, true));
}

TEST_F(HidLinux, ProductIdOutside16BitsMatchesNothing)
{
    add(0, 0x046D, 0xCA03);
    add(1, 0x046D, 0xFFFF);
    std::string out;
    EXPECT_FALSE(init(0x1CA03, 0, &out));
    EXPECT_EQ(out, "initHID: Initializing HID (Device ID 0x1CA03)...HID GUID: 4D1E55B2\n" +
                       std::string(NOT_FOUND));
    EXPECT_FALSE(init(-1, 0, &out));
    EXPECT_EQ(out, "initHID: Initializing HID (Device ID 0xFFFFFFFF)...HID GUID: 4D1E55B2\n" +
                       std::string(NOT_FOUND));
}

TEST_F(HidLinux, CloseFromAnotherThreadDuringWrites)
{
    // A regular file never blocks the writer, however many reports pile up.
    add(0, 0x046D, 0xCA03, HIDRAW_NODE_FILE);
    std::string out;
    ASSERT_TRUE(init(0xCA03, 0, &out));

    std::atomic<int> written{0};
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (written.load() < 200 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        closed = closeHID();
    });
    int failures = 0;
    bool sawFalseThenTrue = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        bool ok = hidSetLeds(written % 2 == 0, true);
        if (ok) {
            if (failures > 0)
                sawFalseThenTrue = true;
            ++written;
        } else if (++failures >= 100) {
            break;
        }
    }
    closer.join();
    EXPECT_TRUE(closed.load());
    EXPECT_FALSE(sawFalseThenTrue);
    EXPECT_EQ(failures, 100);
    EXPECT_FALSE(hidSetLeds(true, true));
    // Every write that reported success left one whole report.
    std::string data = testReadFile(hidrawTreeNodePath(tree, 0));
    EXPECT_EQ(data.size(), static_cast<std::size_t>(written.load()) * 8);
}

} // namespace

// The device missing at start-up, found but not openable for a while, found, lost and found
// again: hidRetry looks once a second and quietly, shows an open failure's reason once it has
// lasted 5 s, and says when the device is lost and when it is back.
TEST_F(HidLinux, MissingOrLostDeviceIsLookedForOnceASecond)
{
    std::string out;
    ASSERT_FALSE(init(0xCA03, 0, &out));
    const std::string node = hidrawTreeNodePath(tree, 0);
    add(0, 0x046D, 0xCA03, HIDRAW_NODE_DIRECTORY);
    struct Step {
        std::uint32_t now;
        bool opened;
        std::string printed;
    };
    const Step waiting[] = {
        // The first call starts the count; a look a second later cannot open the node.
        {1000, false, ""},
        {1999, false, ""},
        {2000, false, ""},
        {6000, false, ""},
        {6999, false, ""},
        // 5 s after the first failed open: its reason, once.
        {7000, false, "initHID: Cannot open " + node + ": Is a directory\n"},
        {8000, false, ""},
    };
    for (const Step &step : waiting) {
        testCaptureBegin();
        EXPECT_EQ(hidRetry(step.now), step.opened) << step.now;
        EXPECT_EQ(testCaptureEnd(), step.printed) << step.now;
    }
    std::filesystem::remove(node);
    ASSERT_EQ(symlink("/dev/full", node.c_str()), 0);
    testCaptureBegin();
    EXPECT_TRUE(hidRetry(9000));
    EXPECT_EQ(testCaptureEnd(), std::string(INIT_CA03) + FOUND);

    // Writes fail, but the node is still the device: it stays.
    EXPECT_FALSE(hidSetLeds(true, false));
    testCaptureBegin();
    EXPECT_FALSE(hidRetry(10000));
    EXPECT_EQ(testCaptureEnd(), "");
    EXPECT_TRUE(holdsOpen("/dev/full"));
    // Writes fail and the node is gone: lost, and looked for from then on.
    std::filesystem::remove(node);
    EXPECT_FALSE(hidSetLeds(true, false));
    testCaptureBegin();
    EXPECT_FALSE(hidRetry(11000));
    EXPECT_EQ(testCaptureEnd(), "initHID: Device lost, waiting for it to come back...\n");
    EXPECT_FALSE(holdsOpen("/dev/full"));
    ASSERT_EQ(mkfifo(node.c_str(), 0660), 0);
    testCaptureBegin();
    EXPECT_FALSE(hidRetry(11999));
    EXPECT_TRUE(hidRetry(12000));
    EXPECT_EQ(testCaptureEnd(), std::string(INIT_CA03) + FOUND);
    EXPECT_TRUE(opened(0));

    // Closed: no longer looked for.
    EXPECT_TRUE(closeHID());
    EXPECT_FALSE(hidRetry(20000));
    EXPECT_FALSE(opened(0));
}

// A reason that initHID printed is not printed again: not after 5 s of failed opens, nor after a
// search that found nothing and the same device failing once more.
TEST_F(HidLinux, ReasonPrintedAtStartUpIsNotPrintedAgain)
{
    add(0, 0x046D, 0xCA03, HIDRAW_NODE_DIRECTORY);
    std::string out;
    ASSERT_FALSE(init(0xCA03, 0, &out));
    ASSERT_NE(out.find("Is a directory"), std::string::npos) << out;
    const std::string node = hidrawTreeNodePath(tree, 0);
    testCaptureBegin();
    for (std::uint32_t now = 1000; now <= 8000; now += 1000)
        EXPECT_FALSE(hidRetry(now));
    std::filesystem::remove(node);
    EXPECT_FALSE(hidRetry(9000));
    std::filesystem::create_directory(node);
    for (std::uint32_t now = 10000; now <= 17000; now += 1000)
        EXPECT_FALSE(hidRetry(now));
    EXPECT_EQ(testCaptureEnd(), "");
}
