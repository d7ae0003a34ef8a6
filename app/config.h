// The configuration file: global settings and the profile of the current car.
#pragma once

#include <cstdint>

#include "app/led.h"

// The [config] section, read once at start-up.
struct GlobalSettings {
    std::int32_t outGaugePort;
    std::int32_t deviceID;
    std::int32_t deviceNum;
    std::int32_t speedlimitFlashTime;
    std::int32_t shiftlightFlashTime;
    std::int32_t lowfuelFlashTime;
};

// The settings when [config] leaves them out.
constexpr GlobalSettings CONFIG_DEFAULTS = {56551, 51715, 0, 200, 200, 1000};

constexpr std::int32_t CONFIG_ABSENT_CODE = -75;

// The keys of [config] in the order of GlobalSettings' fields (and of reading), and the
// field of each.
constexpr int CONFIG_GLOBAL_COUNT = 6;
extern const char *const CONFIG_GLOBAL_KEYS[CONFIG_GLOBAL_COUNT];
extern std::int32_t GlobalSettings::*const CONFIG_GLOBAL_FIELDS[CONFIG_GLOBAL_COUNT];

// The index in CONFIG_GLOBAL_KEYS of the key of each flash time (LedFlash order).
constexpr int CONFIG_FLASH_TIME_KEY = 3;

// The flash times of settings, for the LED logic.
inline LedFlashTimes configFlashTimes(const GlobalSettings &settings)
{
    return LedFlashTimes{
        {settings.speedlimitFlashTime, settings.shiftlightFlashTime, settings.lowfuelFlashTime}};
}

// The keys of [default] and the car sections: LED1, LED2, LED1b, LED2b, lowFuel.
constexpr int CONFIG_CAR_COUNT = 5;
extern const char *const CONFIG_CAR_KEYS[CONFIG_CAR_COUNT];
constexpr int CONFIG_STRING_SIZE = 128;

extern GlobalSettings globalSettings;

// The resolved settings of the current car; all zero until a car is loaded.
extern CarProfile carProfile;

// The car whose profile is loaded (as ogPacketCarName gives it, NUL-padded); the main
// loop sets it before calling loadConfig in car mode.
extern char currentCar[OG_CAR_NAME_SIZE];

// First call: builds the file path, prints "Loading config %s...\n" and reads
// [config]. Every later call: prints "Car: %s\n" and resolves currentCar.
void loadConfig();

// The settings of [config] in the file at path, with every default applied.
void configReadGlobals(const char *path, GlobalSettings *out);

// The profile of car from its own section and [default], markers applied.
void configResolveProfile(const char *path, const char *car, CarProfile *out);

// Bits of the values that a resolved profile took from [default].
constexpr unsigned CONFIG_FROM_DEFAULT_LED1 = 1u;
constexpr unsigned CONFIG_FROM_DEFAULT_LED2 = 2u;
constexpr unsigned CONFIG_FROM_DEFAULT_LED1B = 4u;
constexpr unsigned CONFIG_FROM_DEFAULT_LED2B = 8u;
constexpr unsigned CONFIG_FROM_DEFAULT_LOWFUEL = 16u;

// configResolveProfile, also telling in *fromDefault (when not NULL) which values came
// from [default].
void configResolveProfileFrom(const char *path, const char *car, CarProfile *out,
                              unsigned *fromDefault);

// The path in use (NULL before the first loadConfig).
const char *configPath();

// Forgets the path and the loaded settings, as at process start (for tests).
void configReset();

// Copies a name for the console: bytes outside printable ASCII become '?'.
void configPrintableName(const char *name, char *out, int size);

// Backend: the working directory plus the separator plus "lumivane.cfg", in a
// buffer from malloc that the caller frees; NULL when the directory cannot be had
// (or, on Windows, does not fit the 512-byte path buffer) or the buffer cannot be
// allocated.
char *configBuildPath();

// Backend: the file's name relative to the working directory, used when
// configBuildPath gives NULL.
extern const char CONFIG_FALLBACK_PATH[];

// The path the program reads: built (from configBuildPath), or CONFIG_FALLBACK_PATH when
// built is NULL.
const char *configPathOr(const char *built);
