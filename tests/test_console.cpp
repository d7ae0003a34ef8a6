// The console event handler: which events shut down, and that it never claims the event.
#include "app/console.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(CtrlHandler, ShutdownEventsPrintAndPauseOthersDoNothing)
{
    std::atomic<std::uint32_t> ticks{1000};
    consoleSetClock(testClock(&ticks));
    for (int event :
         {CONSOLE_CTRL_C, CONSOLE_CTRL_BREAK, CONSOLE_CLOSE, CONSOLE_LOGOFF, CONSOLE_SHUTDOWN}) {
        std::uint32_t before = ticks;
        testCaptureBegin();
        EXPECT_FALSE(ctrlHandler(event));
        // Nothing is open here, so closing prints nothing more.
        EXPECT_EQ(testCaptureEnd(), "Shutdown...\n") << event;
        EXPECT_EQ(ticks - before, 200u) << event;
    }
    for (int event : {3, 4, 7, -1}) {
        std::uint32_t before = ticks;
        testCaptureBegin();
        EXPECT_FALSE(ctrlHandler(event));
        EXPECT_EQ(testCaptureEnd(), "") << event;
        EXPECT_EQ(ticks.load(), before) << event;
    }
    consoleSetClock(clockSystem());
}
