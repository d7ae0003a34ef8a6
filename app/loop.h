// Start-up, the polling loop and the state of the run.
#pragma once

#include <cstdint>

#include "app/clock.h"
#include "base/pace.h"
#include "hid/hid.h"
#include "outgauge/packet.h"
#include "rules/config.h"
#include "rules/led.h"

constexpr std::uint32_t LOOP_PAUSE_MS = 10;
constexpr std::uint32_t LOOP_IDLE_MS = 2000;
constexpr std::uint32_t LOOP_IDLE_PAUSE_MS = 100;

// Everything the run carries from one pass of the loop to the next. The loop owns it and
// hands each module what it needs.
struct AppState {
    char *configBuilt;            // the file's path as start-up built it (NULL: none was built)
    const char *configPath;       // the file read at start-up, at every car change and save
    HidPlaces hidPlaces;          // where the device is looked for: the system's own places
    GlobalSettings settings;      // [config]; the port and the device as they were opened
    CarProfile profile;           // the current car's; all zero until the first car is loaded
    char car[OG_CAR_NAME_SIZE];   // the car whose profile is loaded; empty at start
    bool carLoaded;               // whether a car's profile has been loaded
    OutGaugePacket packet;        // the newest datagram
    OgExtra extra;                // what it gives beside the record (another game's datagram)
    std::uint32_t lastPacketTick; // when a pass last accepted a datagram; 0 at start
    bool led1, led2;              // the LED states last written
    ConfigStamp fileStamp;        // the file as it was when last read
    Pace fileCheck;               // when the file is next compared with fileStamp
    GlobalSettings pending;       // a saved port or device, opened once the file stays as is
    bool pendingOpen;             // whether pending differs from the port and device in use
    std::uint32_t shutdownsSeen;  // the console's count of shutdown events when the run began
};

// The state before start-up: nothing loaded, nothing received.
AppState appInitialState();

// Banner, title, console handler (which pauses on clock), settings, receiver and device, in
// this order. A step that fails is reported and the program runs on: the device is opened only
// with a receiver, and what is missing (the port held by another program, the device) is tried
// again while it runs.
void appStartup(AppState *app, const AppClock &clock);

// Prints "Loading config %s...\n" with the path, then reads [config] of file into *settings.
void appLoadSettings(const ProfileFile &file, GlobalSettings *settings);

// Prints "Car: %s\n" with the current car made printable, then resolves its profile from file.
void appLoadCar(AppState *app, const ProfileFile &file);

// Once a second: a save of the file, the receiver's port and the device, each looked at again
// (see appLoopPass).
void appKeepUp(AppState *app, std::uint32_t now);

// One pass of the loop on clock: what appKeepUp finds, read, car change, LED update, idle rule,
// pauses.
void appLoopPass(AppState *app, const AppClock &clock);

// Frees what start-up allocated. The program never leaves its loop; the tests do.
void appRelease(AppState *app);

// Start-up, then the loop forever, on the platform's clock.
int appMain();
