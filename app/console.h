// Console title and console events (Ctrl+C, Ctrl+Break, close, logoff, shutdown).
#pragma once

// Console event numbers as the Windows console reports them.
constexpr int CONSOLE_CTRL_C = 0;
constexpr int CONSOLE_CTRL_BREAK = 1;
constexpr int CONSOLE_CLOSE = 2;
constexpr int CONSOLE_LOGOFF = 5;
constexpr int CONSOLE_SHUTDOWN = 6;

// For the five events above: prints "Shutdown...\n", closes the receiver and
// the device, pauses 200 ms. Returns false for every event, so the platform's
// default handling ends the process.
bool ctrlHandler(int event);

// Sets the console window title.
void consoleSetTitle(const char *title);

// Registers ctrlHandler for the platform's console events.
bool consoleInstallHandler();
