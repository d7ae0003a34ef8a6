// Start-up in its fixed order and the polling loop.
#include "app/loop.h"

#include "app/clock.h"
#include "app/config.h"
#include "app/console.h"
#include "app/led.h"
#include "app/out.h"
#include "app/version.h"
#include "hid/hid.h"
#include "outgauge/receiver.h"

#include <cstring>

OutGaugePacket packet;
std::uint32_t lastPacketTick = 0;

void appStartup()
{
    outPrintf("---------------------------------\n");
    outPrintf(" Lumivane v" LUMIVANE_VERSION_SHORT " by Quillox\n");
    outPrintf("---------------------------------\n\n");
    consoleSetTitle("Lumivane");
    consoleInstallHandler();
    loadConfig();
    std::memset(currentCar, 0, sizeof currentCar);

    if (!ogInit()) {
        outPrintf("OutGauge init failed!\n");
        ogClose();
        closeHID();
    }
    if (!initHID(globalSettings.deviceID, globalSettings.deviceNum)) {
        outPrintf("HID init failed!\n");
        ogClose();
        closeHID();
    }
    outPrintf("Ready for OutGauge data\n");
    lastPacketTick = 0;
}

void appLoopPass()
{
    if (ogRead(packet)) {
        char car[OG_CAR_NAME_SIZE];
        ogPacketCarName(packet, car);
        if (std::strcmp(car, currentCar) != 0) {
            std::memcpy(currentCar, car, sizeof currentCar);
            loadConfig();
        }
        bool led1 = false;
        bool led2 = false;
        ledCombine(packet, &led1, &led2);
        hidSetLeds(led1, led2);
        lastPacketTick = clockTicks();
    }
    // Unsigned difference: correct across the wrap of the tick count.
    if (static_cast<std::uint32_t>(clockTicks() - lastPacketTick) > LOOP_IDLE_MS) {
        hidSetLeds(false, false);
        clockSleep(LOOP_IDLE_PAUSE_MS);
    }
    clockSleep(LOOP_PAUSE_MS);
}

int appMain()
{
    appStartup();
    for (;;)
        appLoopPass();
}
