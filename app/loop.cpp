// Start-up in its fixed order and the polling loop.
#include "app/loop.h"

#include "app/clock.h"
#include "app/console.h"
#include "app/version.h"
#include "base/out.h"
#include "hid/hid.h"
#include "outgauge/receiver.h"

#include <cstdlib>
#include <cstring>

namespace {

std::uint32_t appReadClock(const void *)
{
    return clockTicks();
}

// The two LED states of the newest datagram in the current car, printing "Unkown LED
// action %d\n" for each undefined code.
LedStates appLeds(const AppState &app)
{
    const LedStates states =
        ledEvaluate(app.profile, configFlashTimes(app.settings), app.packet, appClockTicks());
    for (int i = 0; i < states.undefinedCount; ++i)
        outPrintf("Unkown LED action %d\n", static_cast<int>(states.undefined[i]));
    return states;
}

} // namespace

AppState appInitialState()
{
    AppState app = {};
    app.settings = CONFIG_DEFAULTS;
    return app;
}

void appStartup(AppState *app)
{
    outPrintf("---------------------------------\n");
    outPrintf(" Lumivane v" LUMIVANE_VERSION " by Quillox\n");
    outPrintf("---------------------------------\n\n");
    consoleSetTitle("Lumivane");
    consoleInstallHandler();
    app->configBuilt = configBuildPath();
    app->configPath = configPathOr(app->configBuilt);
    configLoadSettings(app->configPath, &app->settings);
    std::memset(app->car, 0, sizeof app->car);

    // Nothing here ends the program: a receiver or a device that cannot be opened is
    // reported, and the program runs on with what it has (a loop that finds nothing to
    // read, or writes that go nowhere) until the user closes it.
    if (!ogInit(app->settings.outGaugePort)) {
        outPrintf("OutGauge init failed!\n");
        ogClose();
        closeHID();
    }
    if (!initHID(app->settings.deviceID, app->settings.deviceNum)) {
        outPrintf("HID init failed!\n");
        ogClose();
        closeHID();
    }
    outPrintf("Ready for OutGauge data\n");
    app->lastPacketTick = 0;
}

void appLoopPass(AppState *app)
{
    if (ogRead(app->packet)) {
        char car[OG_CAR_NAME_SIZE];
        ogPacketCarName(app->packet, car);
        if (std::strcmp(car, app->car) != 0) {
            std::memcpy(app->car, car, sizeof app->car);
            configLoadCar(app->configPath, app->car, &app->profile);
        }
        const LedStates leds = appLeds(*app);
        hidSetLeds(leds.led1, leds.led2);
        app->lastPacketTick = clockTicks();
    }
    // Unsigned difference: correct across the wrap of the tick count.
    if (static_cast<std::uint32_t>(clockTicks() - app->lastPacketTick) > LOOP_IDLE_MS) {
        hidSetLeds(false, false);
        clockSleep(LOOP_IDLE_PAUSE_MS);
    }
    clockSleep(LOOP_PAUSE_MS);
}

void appRelease(AppState *app)
{
    std::free(app->configBuilt);
    app->configBuilt = nullptr;
    app->configPath = nullptr;
}

LedTicks appClockTicks()
{
    return LedTicks{appReadClock, nullptr};
}

int appMain()
{
    AppState app = appInitialState();
    appStartup(&app);
    for (;;)
        appLoopPass(&app);
}
