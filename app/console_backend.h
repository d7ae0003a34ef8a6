// The console's backend contract: what the platform's event backends (console_posix.cpp,
// console_win32.cpp) and the portable handler (console.cpp) share. Only the console, its tests
// and the benchmarks include it.
#pragma once

#include "app/console.h"

#include <cstdint>

// How long after a shutdown event the process ends at the latest. The handler prints and
// then waits for the receiver's and the device's locks: with the console's output stuck (a
// paused terminal, a pager that reads no more) or a report write that does not return, it
// would wait with no end, and the event must still end the program.
constexpr std::uint32_t CONSOLE_SHUTDOWN_LIMIT_MS = 5000;

// What the platform runs for a console event: ctrlHandler, and for the five shutdown events
// a watchdog that ends the process CONSOLE_SHUTDOWN_LIMIT_MS later should it still run.
bool consoleOnEvent(int event);

// Ends the process as the platform's default handling of event ends it.
[[noreturn]] void consoleEndProcess(int event);
