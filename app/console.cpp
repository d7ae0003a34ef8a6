// The console event handler's steps, the same on every platform.
#include "app/console_backend.h"

#include "base/out.h"
#include "hid/hid.h"
#include "outgauge/receiver.h"

#include <atomic>
#include <thread>

namespace {

AppClock g_clock = clockSystem();
std::atomic<std::uint32_t> g_shutdowns{0};

bool consoleIsShutdown(int event)
{
    return event == CONSOLE_CTRL_C || event == CONSOLE_CTRL_BREAK || event == CONSOLE_CLOSE ||
           event == CONSOLE_LOGOFF || event == CONSOLE_SHUTDOWN;
}

} // namespace

bool ctrlHandler(int event)
{
    if (consoleIsShutdown(event)) {
        g_shutdowns.fetch_add(1);
        outPrintf("Shutdown...\n");
        ogClose();
        closeHID();
        g_clock.sleep(g_clock.context, 200);
    }
    // Not handled: the platform's default handling goes on and ends the process.
    return false;
}

std::uint32_t consoleShutdowns()
{
    return g_shutdowns.load();
}

void consoleSetClock(const AppClock &clock)
{
    g_clock = clock;
}

// The watchdog keeps the platform's own time, whatever clock the handler was given.
bool consoleOnEvent(int event)
{
    if (consoleIsShutdown(event)) {
        std::thread([event] {
            const AppClock system = clockSystem();
            system.sleep(system.context, CONSOLE_SHUTDOWN_LIMIT_MS);
            consoleEndProcess(event);
        }).detach();
    }
    return ctrlHandler(event);
}
