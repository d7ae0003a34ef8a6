// Start-up in its fixed order and the polling loop.
#include "app/loop.h"

#include "app/console.h"
#include "app/version.h"
#include "base/out.h"
#include "outgauge/receiver.h"

#include <cstdlib>
#include <cstring>

namespace {

// The two LED states of the newest datagram in the current car, printing "Unkown LED
// action %d\n" for each undefined code.
LedStates appLeds(const AppState &app, const AppClock &clock)
{
    const LedStates states = ledEvaluate(app.profile, configFlashTimes(app.settings), app.packet,
                                         LedTicks{clock.ticks, clock.context}, app.extra);
    for (int i = 0; i < states.undefinedCount; ++i)
        outPrintf("Unkown LED action %d\n", static_cast<int>(states.undefined[i]));
    return states;
}

// Writes the two LED states, and keeps them for a device opened again.
void appWrite(AppState *app, bool led1, bool led2)
{
    app->led1 = led1;
    app->led2 = led2;
    hidSetLeds(led1, led2);
}

// The device step of start-up, once the receiver is open. True when the device was opened.
bool appOpenDevice(AppState *app)
{
    if (initHID(app->settings.deviceID, app->settings.deviceNum, app->hidPlaces))
        return true;
    outPrintf("HID init failed!\n");
    return false;
}

// The file was saved: [config] and the current car read again, from one read of the file. The
// flash times and the car's codes apply at once; another port or device waits for the file to
// stay as it is. A file that cannot be read keeps what is in use.
void appReload(AppState *app)
{
    ProfileFile file;
    if (profileLoad(app->configPath, &file)) {
        GlobalSettings fresh = CONFIG_DEFAULTS;
        appLoadSettings(file, &fresh);
        for (const ConfigKey &key : CONFIG_KEYS) {
            if (key.flash != LED_FLASH_NONE)
                app->settings.*key.field = fresh.*key.field;
        }
        if (app->carLoaded)
            appLoadCar(app, file);
        app->pending = fresh;
        app->pendingOpen = fresh.outGaugePort != app->settings.outGaugePort ||
                           fresh.deviceID != app->settings.deviceID ||
                           fresh.deviceNum != app->settings.deviceNum;
    }
    profileRelease(&file);
}

// Opens the edited port and device, as start-up does; true when either was opened.
bool appReopen(AppState *app)
{
    const bool portChanged = app->pending.outGaugePort != app->settings.outGaugePort;
    app->settings.outGaugePort = app->pending.outGaugePort;
    app->settings.deviceID = app->pending.deviceID;
    app->settings.deviceNum = app->pending.deviceNum;
    // The device follows the receiver: with another port both are opened again.
    closeHID();
    if (portChanged) {
        ogClose();
        if (!ogInit(app->settings.outGaugePort)) {
            outPrintf("OutGauge init failed!\n");
            return false;
        }
        appOpenDevice(app);
        return true;
    }
    return ogIsOpen() && appOpenDevice(app);
}

// Compares the file with what was last read; true when the receiver or the device was opened.
bool appCheckFile(AppState *app)
{
    const ConfigStamp stamp = configFileStamp(app->configPath);
    if (!configStampEqual(stamp, app->fileStamp)) {
        app->fileStamp = stamp;
        app->pendingOpen = false;
        // A file that is missing or empty is most likely being saved: what is in use stays
        // until the next change.
        if (stamp.usable)
            appReload(app);
        return false;
    }
    if (!app->pendingOpen)
        return false;
    // The file stayed as it is for one more check: it was not caught half-saved.
    app->pendingOpen = false;
    return appReopen(app);
}

// Whether a console event has begun the shutdown since the run's state was made; then closes
// the receiver and the device. The handler counts the event before it closes anything, so
// whatever was opened after its closing is closed here again.
bool appClosedForShutdown(const AppState &app)
{
    if (consoleShutdowns() == app.shutdownsSeen)
        return false;
    ogClose();
    closeHID();
    return true;
}

} // namespace

AppState appInitialState()
{
    AppState app = {};
    app.settings = CONFIG_DEFAULTS;
    app.extra = OG_EXTRA_OUTGAUGE;
    app.shutdownsSeen = consoleShutdowns();
    return app;
}

void appLoadSettings(const ProfileFile &file, GlobalSettings *settings)
{
    outPrintf("Loading config %s...\n", file.path);
    configReadGlobals(file, settings);
}

void appLoadCar(AppState *app, const ProfileFile &file)
{
    // The car name comes from the network: no control bytes reach the terminal.
    char shown[OG_CAR_NAME_SIZE];
    configPrintableName(app->car, std::strlen(app->car), shown, sizeof shown);
    outPrintf("Car: %s\n", shown);
    configResolveProfile(file, app->car, &app->profile, nullptr);
    app->carLoaded = true;
}

void appStartup(AppState *app, const AppClock &clock)
{
    outPrintf("---------------------------------\n");
    outPrintf(" Lumivane v" LUMIVANE_VERSION " by Quillox\n");
    outPrintf("---------------------------------\n\n");
    consoleSetTitle("Lumivane");
    consoleSetClock(clock);
    consoleInstallHandler();
    app->configBuilt = configBuildPath();
    app->configPath = configPathOr(app->configBuilt);
    // Taken before the read, so that a save during it is seen at the first look.
    app->fileStamp = configFileStamp(app->configPath);
    ProfileFile file;
    profileLoad(app->configPath, &file);
    appLoadSettings(file, &app->settings);
    profileRelease(&file);
    std::memset(app->car, 0, sizeof app->car);
    app->carLoaded = false;

    // Nothing here ends the program. The receiver comes first, and the device only with it, so
    // that a second copy on the same port leaves the first one's device alone. A port held by
    // another program is tried again every second (ogRetry), a missing device looked for
    // (hidRetry); any other failure of the receiver is reported, and the program runs on
    // without a receiver and without the device.
    if (!ogInit(app->settings.outGaugePort))
        outPrintf("OutGauge init failed!\n");
    else
        appOpenDevice(app);
    outPrintf("Ready for OutGauge data\n");
    app->lastPacketTick = 0;
}

void appKeepUp(AppState *app, std::uint32_t now)
{
    // Once a console event has begun the shutdown, nothing more is opened.
    if (appClosedForShutdown(*app))
        return;
    bool opened = paceDue(&app->fileCheck, now, PACE_RETRY_MS) && appCheckFile(app);
    if (ogRetry(now)) {
        appOpenDevice(app);
        opened = true;
    }
    opened = hidRetry(now) || opened;
    if (!opened || appClosedForShutdown(*app))
        return;
    // A device opened again shows what it would have shown all along.
    hidSetLeds(app->led1, app->led2);
}

void appLoopPass(AppState *app, const AppClock &clock)
{
    const std::uint32_t now = clock.ticks(clock.context);
    appKeepUp(app, now);
    if (ogRead(&app->packet, &app->extra)) {
        char car[OG_CAR_NAME_SIZE];
        ogCarName(app->packet, app->extra, car);
        if (std::strcmp(car, app->car) != 0) {
            std::memcpy(app->car, car, sizeof app->car);
            ProfileFile file;
            profileLoad(app->configPath, &file);
            appLoadCar(app, file);
            profileRelease(&file);
        }
        const LedStates leds = appLeds(*app, clock);
        appWrite(app, leds.led1, leds.led2);
        app->lastPacketTick = now;
    }
    // Unsigned difference: correct across the wrap of the tick count.
    if (static_cast<std::uint32_t>(now - app->lastPacketTick) > LOOP_IDLE_MS) {
        appWrite(app, false, false);
        clock.sleep(clock.context, LOOP_IDLE_PAUSE_MS);
    }
    clock.sleep(clock.context, LOOP_PAUSE_MS);
}

void appRelease(AppState *app)
{
    std::free(app->configBuilt);
    app->configBuilt = nullptr;
    app->configPath = nullptr;
}

int appMain()
{
    const AppClock clock = clockSystem();
    AppState app = appInitialState();
    appStartup(&app, clock);
    for (;;)
        appLoopPass(&app, clock);
}
