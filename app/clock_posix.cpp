// The millisecond tick count and pauses on POSIX: the monotonic clock.
#include "app/clock_backend.h"

#include <cerrno>
#include <ctime>

std::uint32_t clockSystemTicks()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // Only the low 32 bits are kept; the count wraps like the Windows tick count.
    std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                       static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void clockSystemSleep(std::uint32_t ms)
{
    struct timespec req;
    req.tv_sec = static_cast<time_t>(ms / 1000u);
    req.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
}
