// The millisecond tick count and the pauses of the loop.
#pragma once

#include <cstdint>

// A clock as the loop takes it: the tick count (milliseconds since a fixed start, as an
// unsigned 32-bit count that wraps) and a pause of the calling thread, each called with
// context. Its ticks also serve the LED evaluation (LedTicks).
struct AppClock {
    std::uint32_t (*ticks)(const void *context);
    void (*sleep)(void *context, std::uint32_t ms);
    void *context;
};

// The platform's clock.
AppClock clockSystem();
