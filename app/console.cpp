// The console event handler's steps, the same on every platform.
#include "app/console.h"

#include "app/clock.h"
#include "app/out.h"
#include "hid/hid.h"
#include "outgauge/receiver.h"

bool ctrlHandler(int event)
{
    switch (event) {
    case CONSOLE_CTRL_C:
    case CONSOLE_CTRL_BREAK:
    case CONSOLE_CLOSE:
    case CONSOLE_LOGOFF:
    case CONSOLE_SHUTDOWN:
        outPrintf("Shutdown...\n");
        ogClose();
        closeHID();
        clockSleep(200);
        break;
    default:
        break;
    }
    // Not handled: the platform's default handling goes on and ends the process.
    return false;
}
