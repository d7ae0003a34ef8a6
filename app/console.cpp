// The console event handler's steps, the same on every platform.
#include "app/console.h"

#include "app/clock.h"
#include "base/out.h"
#include "hid/hid.h"
#include "outgauge/receiver.h"

#include <thread>

namespace {

bool consoleIsShutdown(int event)
{
    return event == CONSOLE_CTRL_C || event == CONSOLE_CTRL_BREAK || event == CONSOLE_CLOSE ||
           event == CONSOLE_LOGOFF || event == CONSOLE_SHUTDOWN;
}

} // namespace

bool ctrlHandler(int event)
{
    if (consoleIsShutdown(event)) {
        outPrintf("Shutdown...\n");
        ogClose();
        closeHID();
        clockSleep(200);
    }
    // Not handled: the platform's default handling goes on and ends the process.
    return false;
}

bool consoleOnEvent(int event)
{
    if (consoleIsShutdown(event)) {
        std::thread([event] {
            clockSystemSleep(CONSOLE_SHUTDOWN_LIMIT_MS);
            consoleEndProcess(event);
        }).detach();
    }
    return ctrlHandler(event);
}
