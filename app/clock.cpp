// The tick count seen by the program: the platform's, or one that tests set.
#include "app/clock.h"

#include <atomic>

namespace {
std::atomic<bool> g_testClock{false};
std::atomic<std::uint32_t> g_testTicks{0};
} // namespace

std::uint32_t clockTicks()
{
    if (g_testClock.load())
        return g_testTicks.load();
    return clockSystemTicks();
}

void clockSleep(std::uint32_t ms)
{
    if (g_testClock.load()) {
        g_testTicks.fetch_add(ms);
        return;
    }
    clockSystemSleep(ms);
}

void clockSetTest(std::uint32_t ticks)
{
    g_testTicks.store(ticks);
    g_testClock.store(true);
}

void clockClearTest()
{
    g_testClock.store(false);
}
