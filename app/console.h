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

// Sets the console window title.
void consoleSetTitle(const char *title);

// Registers ctrlHandler for the platform's console events.
bool consoleInstallHandler();
