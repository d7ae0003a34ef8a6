// The clock's backend contract: the platform's own count and pause, which clock.cpp turns into
// the loop's clock (clock_posix.cpp, clock_win32.cpp). Only the clock, its tests and the
// benchmarks include it.
#pragma once

#include <cstdint>

std::uint32_t clockSystemTicks();
void clockSystemSleep(std::uint32_t ms);
