// The configuration file: the [config] settings and the profile of a car.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rules/led.h"
#include "rules/profile.h"

// The [config] section, read at start-up and when the file is saved.
struct GlobalSettings {
    std::int32_t outGaugePort;
    std::int32_t deviceID;
    std::int32_t deviceNum;
    std::int32_t speedlimitFlashTime;
    std::int32_t shiftlightFlashTime;
    std::int32_t lowfuelFlashTime;
};

// One key of [config]: its name, the setting it fills, the value when the key is missing,
// and for a flash time the flashing codes it times.
struct ConfigKey {
    const char *name;
    std::int32_t GlobalSettings::*field;
    std::int32_t byDefault;
    LedFlash flash;
};

// The keys of [config], in the order they are read. Everything else about them (the
// defaults, the flash times, the checker's and the sender's knowledge of them) comes
// from here.
inline constexpr ConfigKey CONFIG_KEYS[] = {
    {"outGaugePort", &GlobalSettings::outGaugePort, 56551, LED_FLASH_NONE},
    {"deviceID", &GlobalSettings::deviceID, 0xCA03, LED_FLASH_NONE},
    {"deviceNum", &GlobalSettings::deviceNum, 0, LED_FLASH_NONE},
    {"speedlimitFlashTime", &GlobalSettings::speedlimitFlashTime, 200, LED_FLASH_SPEEDLIMIT},
    {"shiftlightFlashTime", &GlobalSettings::shiftlightFlashTime, 200, LED_FLASH_SHIFTLIGHT},
    {"lowfuelFlashTime", &GlobalSettings::lowfuelFlashTime, 1000, LED_FLASH_LOWFUEL},
};
constexpr int CONFIG_KEY_COUNT = sizeof CONFIG_KEYS / sizeof CONFIG_KEYS[0];

// Whether the table names every setting once and every flash time once.
constexpr bool configKeysComplete()
{
    std::int32_t GlobalSettings::*const fields[] = {
        &GlobalSettings::outGaugePort,        &GlobalSettings::deviceID,
        &GlobalSettings::deviceNum,           &GlobalSettings::speedlimitFlashTime,
        &GlobalSettings::shiftlightFlashTime, &GlobalSettings::lowfuelFlashTime};
    for (auto field : fields) {
        int n = 0;
        for (const ConfigKey &key : CONFIG_KEYS)
            n += key.field == field ? 1 : 0;
        if (n != 1)
            return false;
    }
    for (int flash = 0; flash < LED_FLASH_COUNT; ++flash) {
        int n = 0;
        for (const ConfigKey &key : CONFIG_KEYS)
            n += key.flash == flash ? 1 : 0;
        if (n != 1)
            return false;
    }
    return sizeof(GlobalSettings) == CONFIG_KEY_COUNT * sizeof(std::int32_t);
}
static_assert(configKeysComplete(), "CONFIG_KEYS names each setting and each flash time once");

// The settings when [config] leaves every key out.
constexpr GlobalSettings configDefaults()
{
    GlobalSettings settings = {};
    for (const ConfigKey &key : CONFIG_KEYS)
        settings.*key.field = key.byDefault;
    return settings;
}
inline constexpr GlobalSettings CONFIG_DEFAULTS = configDefaults();

// The name of the key of a flash time.
constexpr const char *configFlashKey(LedFlash flash)
{
    for (const ConfigKey &key : CONFIG_KEYS) {
        if (key.flash == flash)
            return key.name;
    }
    return nullptr;
}

// The flash times of settings, for the LED logic.
constexpr LedFlashTimes configFlashTimes(const GlobalSettings &settings)
{
    LedFlashTimes times = {};
    for (const ConfigKey &key : CONFIG_KEYS) {
        if (key.flash != LED_FLASH_NONE)
            times.ms[key.flash] = settings.*key.field;
    }
    return times;
}

// In a car's section, a code (or shiftAt) of -75 stands for a missing key: the value of
// [default] is used. Nowhere else is it special, so in [default] it is an undefined code like
// any other (and a shiftAt that never lights).
constexpr std::int32_t CONFIG_ABSENT_CODE = -75;

// The longest string value read, with its NUL.
constexpr int CONFIG_STRING_SIZE = 128;

// The settings of [config] in file, with every default applied.
void configReadGlobals(const ProfileFile &file, GlobalSettings *out);

// The profile of car from its own section and [default], markers applied. *fromDefault, when
// not NULL, gets the carKeyBit of each value that came from [default].
void configResolveProfile(const ProfileFile &file, const char *car, CarProfile *out,
                          unsigned *fromDefault);

// The first len bytes of text for the console, in out: at most size - 1 of them, always
// NUL-terminated (size at least 1), each byte outside printable ASCII shown as '?'.
void configPrintableName(const char *text, std::size_t len, char *out, std::size_t size);

// Backend: the working directory plus the separator plus "lumivane.cfg", in a
// buffer from malloc that the caller frees; NULL when the directory cannot be had
// (or, on Windows, does not fit the 512-byte path buffer) or the buffer cannot be
// allocated.
char *configBuildPath();

// What a look at the file compares, to see whether it was saved.
struct ConfigStamp {
    bool usable;           // a regular file, not empty (it may still fail to read)
    std::uint64_t size;    // bytes
    std::int64_t modified; // the last modification, in the platform's units
};

bool configStampEqual(const ConfigStamp &a, const ConfigStamp &b);

// Backend: the stamp of the file at path; all zero when there is none.
ConfigStamp configFileStamp(const char *path);

// The path the program reads: built (from configBuildPath), or CONFIG_FALLBACK_PATH when
// built is NULL.
const char *configPathOr(const char *built);
