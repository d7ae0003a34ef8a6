// The shutdown handler on its own thread while the main thread is inside ogRead and hidSetLeds:
// a real receiver fed on loopback and the stand-in hidraw device, many rounds over.
#include "app/console.h"
#include "app/loop.h"
#include "hid/hid.h"
#include "outgauge/receiver.h"
#include "support/loop_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr int ROUNDS = 150;

// Occurrences of needle in text.
int countOf(const std::string &text, const std::string &needle)
{
    int n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

class ShutdownRace : public LoopStandIn {
protected:
    void SetUp() override
    {
        LoopStandIn::SetUp();
        // The reading end is read all along, so that the program's writes never fill the FIFO
        // and block.
        reader = std::thread([this] {
            unsigned char r[8 * 64];
            while (!stopReading.load()) {
                struct pollfd pfd = {reports, POLLIN, 0};
                poll(&pfd, 1, 20);
                ssize_t n;
                while ((n = read(reports, r, sizeof r)) > 0)
                    reportCount.fetch_add(static_cast<int>(n / 8));
            }
        });

        // The car never changes (the name stays empty), so no configuration file is read.
        app.profile = CarProfile{{ShiftLight, AlwaysOn, 0, 0}, 0.05f};
        ticks = 100000;

        // A sender that keeps the receiver busy for the whole test.
        sender = std::thread([this] {
            TestUdp out;
            OutGaugePacket p = testPacket("", 0, 0, 0.5f);
            for (unsigned i = 0; !stopSending.load(); ++i) {
                ogPacketSetFlags(&p, static_cast<std::uint16_t>(i & 1 ? OG_SHIFT : 0));
                out.send(port, p);
                if (i % 64 == 0)
                    std::this_thread::yield();
            }
        });
    }

    void TearDown() override
    {
        stopSending.store(true);
        if (sender.joinable())
            sender.join();
        stopReading.store(true);
        if (reader.joinable())
            reader.join();
        LoopStandIn::TearDown();
    }

    // Runs body on the main thread until the handler, started after `delay` passes of body,
    // has finished; then checks that everything is closed.
    template <typename Body> void round(int delay, Body body)
    {
        std::atomic<int> passes{0};
        std::atomic<bool> handled{false};
        std::thread handler([&] {
            while (passes.load() < delay)
                std::this_thread::yield();
            EXPECT_FALSE(ctrlHandler(CONSOLE_CTRL_C));
            handled.store(true);
        });
        // A few more passes after the handler is done: they must find nothing open.
        int after = 0;
        while (after < 3) {
            if (handled.load())
                ++after;
            body();
            passes.fetch_add(1);
            // The real loop pauses outside its locks; so does this one, briefly.
            std::this_thread::yield();
        }
        handler.join();

        OutGaugePacket before = app.packet;
        EXPECT_FALSE(ogRead(&app.packet));
        EXPECT_EQ(std::memcmp(&before, &app.packet, sizeof before), 0) << "a closed receiver wrote";
        EXPECT_FALSE(hidSetLeds(true, true));
        EXPECT_FALSE(closeHID());
    }

    std::thread sender;
    std::atomic<bool> stopSending{false};
    std::thread reader;
    std::atomic<bool> stopReading{false};
    std::atomic<int> reportCount{0};
};

} // namespace

TEST_F(ShutdownRace, HandlerDuringLoopPasses)
{
    testCaptureBegin();
    for (int i = 0; i < ROUNDS; ++i) {
        openBoth();
        // Each round is a run of its own: the last round's console event is not this one's.
        app.shutdownsSeen = consoleShutdowns();
        round(i % 7, [this] { appLoopPass(&app, clock); });
    }
    std::string out = testCaptureEnd();
    EXPECT_EQ(countOf(out, "Shutdown...\n"), ROUNDS);
    EXPECT_EQ(countOf(out, "ogClose: Closing OutGauge...\n"), ROUNDS);
    // The passes wrote reports until the device was closed. How many depends on how the threads
    // were scheduled (a busy machine gives the sender few turns), so only that some did.
    EXPECT_GT(reportCount.load(), 0);
}

TEST_F(ShutdownRace, HandlerDuringDirectReadsAndWrites)
{
    testCaptureBegin();
    for (int i = 0; i < ROUNDS; ++i) {
        openBoth();
        bool led = false;
        round(i % 5, [&led] {
            OutGaugePacket p;
            std::memset(&p, 0, sizeof p);
            ogRead(&p);
            hidSetLeds(led, !led);
            led = !led;
        });
    }
    std::string out = testCaptureEnd();
    EXPECT_EQ(countOf(out, "Shutdown...\n"), ROUNDS);
}
