// The millisecond tick count and the loop's pauses.
#pragma once

#include <cstdint>

// Milliseconds since a fixed start, as an unsigned 32-bit count that wraps.
std::uint32_t clockTicks();

// Pauses the calling thread. While a test clock is set, advances it instead.
void clockSleep(std::uint32_t ms);

// Replaces the system count with one that tests set (and clockSleep advances).
void clockSetTest(std::uint32_t ticks);
void clockClearTest();

// The platform's own count and pause, used when no test clock is set.
std::uint32_t clockSystemTicks();
void clockSystemSleep(std::uint32_t ms);
