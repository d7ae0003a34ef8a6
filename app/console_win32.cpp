// Console title and console control events on Windows.
#include "app/console_backend.h"

#include <windows.h>

namespace {

// Windows calls this on a thread of its own for every console control event.
BOOL WINAPI winCtrlHandler(DWORD ev)
{
    return consoleOnEvent(static_cast<int>(ev)) ? TRUE : FALSE;
}

} // namespace

// The default handling of a console event ends the process with this status.
void consoleEndProcess(int)
{
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

void consoleSetTitle(const char *title)
{
    SetConsoleTitleA(title);
}

bool consoleInstallHandler()
{
    // When every handler returns FALSE, the system's default handler runs next
    // and calls ExitProcess, which is how the program ends.
    return SetConsoleCtrlHandler(winCtrlHandler, TRUE) != FALSE;
}
