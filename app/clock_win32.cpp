// The millisecond tick count and pauses on Windows: GetTickCount and Sleep.
#include "app/clock_backend.h"

#include <windows.h>

std::uint32_t clockSystemTicks()
{
    return static_cast<std::uint32_t>(GetTickCount());
}

void clockSystemSleep(std::uint32_t ms)
{
    Sleep(static_cast<DWORD>(ms));
}
