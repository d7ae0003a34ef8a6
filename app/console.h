// Console title and console events (Ctrl+C, Ctrl+Break, close, logoff, shutdown).
#pragma once

#include <cstdint>

#include "app/clock.h"

// Console event numbers as the Windows console reports them.
constexpr int CONSOLE_CTRL_C = 0;
constexpr int CONSOLE_CTRL_BREAK = 1;
constexpr int CONSOLE_CLOSE = 2;
constexpr int CONSOLE_LOGOFF = 5;
constexpr int CONSOLE_SHUTDOWN = 6;

// For the five events above: prints "Shutdown...\n", closes the receiver and
// the device, pauses 200 ms on the console's clock. Returns false for every event, so the
// platform's default handling ends the process.
bool ctrlHandler(int event);

// How many shutdown events ctrlHandler has begun, counted before it closes anything: a loop
// that sees the count change knows that the shutdown has begun and opens nothing again.
std::uint32_t consoleShutdowns();

// The clock of ctrlHandler's pause. The platform calls the handler on a thread of its own with
// nothing but the event, so the handler keeps the clock that start-up gives it here, the loop's
// own; until then it is the platform's.
void consoleSetClock(const AppClock &clock);

// How long after a shutdown event the process ends at the latest. The handler prints and
// then waits for the receiver's and the device's locks: with the console's output stuck (a
// paused terminal, a pager that reads no more) or a report write that does not return, it
// would wait with no end, and the event must still end the program.
constexpr std::uint32_t CONSOLE_SHUTDOWN_LIMIT_MS = 5000;

// What the platform runs for a console event: ctrlHandler, and for the five shutdown events
// a watchdog that ends the process CONSOLE_SHUTDOWN_LIMIT_MS later should it still run.
bool consoleOnEvent(int event);

// Backend: ends the process as the platform's default handling of event ends it.
[[noreturn]] void consoleEndProcess(int event);

// Sets the console window title.
void consoleSetTitle(const char *title);

// Registers ctrlHandler for the platform's console events.
bool consoleInstallHandler();
