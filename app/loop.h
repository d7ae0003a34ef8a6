// Start-up, the polling loop and the state of the run.
#pragma once

#include <cstdint>

#include "app/config.h"
#include "app/led.h"
#include "outgauge/packet.h"

constexpr std::uint32_t LOOP_PAUSE_MS = 10;
constexpr std::uint32_t LOOP_IDLE_MS = 2000;
constexpr std::uint32_t LOOP_IDLE_PAUSE_MS = 100;

// Everything the run carries from one pass of the loop to the next. The loop owns it and
// hands each module what it needs.
struct AppState {
    char *configBuilt;            // the file's path as start-up built it (NULL: none was built)
    const char *configPath;       // the file read at start-up and at every car change
    GlobalSettings settings;      // [config]
    CarProfile profile;           // the current car's; all zero until the first car is loaded
    char car[OG_CAR_NAME_SIZE];   // the car whose profile is loaded; empty at start
    OutGaugePacket packet;        // the newest datagram
    std::uint32_t lastPacketTick; // when a pass last accepted a datagram; 0 at start
};

// The state before start-up: nothing loaded, nothing received.
AppState appInitialState();

// Banner, title, console handler, settings, receiver and device, in this order. A step that
// fails is reported and the rest go on: the program runs with whatever could be opened.
void appStartup(AppState *app);

// One pass of the loop: read, car change, LED update, idle rule, pauses.
void appLoopPass(AppState *app);

// Frees what start-up allocated. The program never leaves its loop; the tests do.
void appRelease(AppState *app);

// The program's clock as the tick source of the LED evaluation.
LedTicks appClockTicks();

// Start-up, then the loop forever.
int appMain();
