// The platform's clock as the loop takes it.
#include "app/clock.h"
#include "app/clock_backend.h"

namespace {

std::uint32_t clockReadSystem(const void *)
{
    return clockSystemTicks();
}

void clockPauseSystem(void *, std::uint32_t ms)
{
    clockSystemSleep(ms);
}

} // namespace

AppClock clockSystem()
{
    return AppClock{clockReadSystem, clockPauseSystem, nullptr};
}
