// The configuration file: [config] at start-up, a car's profile at each car change.
#include "app/config.h"

#include "app/profile.h"
#include "base/out.h"

#include <cstdlib>
#include <cstring>

const char *const CONFIG_CAR_KEYS[CONFIG_CAR_COUNT] = {"LED1", "LED2", "LED1b", "LED2b", "lowFuel"};

namespace {

float readThreshold(const char *path, const char *section, const char *def)
{
    char text[CONFIG_STRING_SIZE];
    profileGetString(section, CONFIG_CAR_KEYS[4], def, text, sizeof text, path);
    return static_cast<float>(std::strtod(text, nullptr));
}

} // namespace

void configReadGlobals(const char *path, GlobalSettings *out)
{
    for (const ConfigKey &key : CONFIG_KEYS)
        out->*key.field = profileGetInt("config", key.name, key.byDefault, path);
}

void configResolveProfile(const char *path, const char *car, CarProfile *out)
{
    configResolveProfileFrom(path, car, out, nullptr);
}

void configResolveProfileFrom(const char *path, const char *car, CarProfile *out,
                              unsigned *fromDefault)
{
    const char *const *keys = CONFIG_CAR_KEYS;
    LedAction codes[4];
    for (int i = 0; i < 4; ++i)
        codes[i] = profileGetInt(car, keys[i], CONFIG_ABSENT_CODE, path);
    float threshold = readThreshold(path, car, "-1.0");

    // Values taken from [default] are final: no marker test on them.
    unsigned from = 0;
    for (int i = 0; i < 4; ++i) {
        if (codes[i] == CONFIG_ABSENT_CODE) {
            codes[i] = profileGetInt("default", keys[i], 0, path);
            from |= 1u << i;
        }
    }
    if (threshold < 0.0f) {
        threshold = readThreshold(path, "default", "0.05");
        from |= CONFIG_FROM_DEFAULT_LOWFUEL;
    }

    out->LED1 = codes[0];
    out->LED2 = codes[1];
    out->LED1b = codes[2];
    out->LED2b = codes[3];
    out->lowFuel = threshold;
    if (fromDefault != nullptr)
        *fromDefault = from;
}

void configPrintableName(const char *text, std::size_t len, char *out, std::size_t size)
{
    std::size_t i = 0;
    for (; i < len && i + 1 < size; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        out[i] = (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '?';
    }
    out[i] = '\0';
}

void configLoadSettings(const char *path, GlobalSettings *out)
{
    outPrintf("Loading config %s...\n", path);
    configReadGlobals(path, out);
}

void configLoadCar(const char *path, const char *car, CarProfile *out)
{
    // The car name comes from the network: no control bytes reach the terminal.
    char shown[OG_CAR_NAME_SIZE];
    configPrintableName(car, std::strlen(car), shown, sizeof shown);
    outPrintf("Car: %s\n", shown);
    configResolveProfile(path, car, out);
}

bool configStampEqual(const ConfigStamp &a, const ConfigStamp &b)
{
    return a.readable == b.readable && a.size == b.size && a.modified == b.modified;
}

const char *configPathOr(const char *built)
{
    return built != nullptr ? built : CONFIG_FALLBACK_PATH;
}
