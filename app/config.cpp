// The configuration file: [config] once at start-up, the car's profile at each car change.
#include "app/config.h"

#include "app/out.h"
#include "app/profile.h"

#include <cstdlib>
#include <cstring>

const char *const CONFIG_GLOBAL_KEYS[CONFIG_GLOBAL_COUNT] = {
    "outGaugePort",        "deviceID",        "deviceNum", "speedlimitFlashTime",
    "shiftlightFlashTime", "lowfuelFlashTime"};
std::int32_t GlobalSettings::*const CONFIG_GLOBAL_FIELDS[CONFIG_GLOBAL_COUNT] = {
    &GlobalSettings::outGaugePort,        &GlobalSettings::deviceID,
    &GlobalSettings::deviceNum,           &GlobalSettings::speedlimitFlashTime,
    &GlobalSettings::shiftlightFlashTime, &GlobalSettings::lowfuelFlashTime};
const char *const CONFIG_CAR_KEYS[CONFIG_CAR_COUNT] = {"LED1", "LED2", "LED1b", "LED2b", "lowFuel"};

GlobalSettings globalSettings = CONFIG_DEFAULTS;
CarProfile carProfile = {0, 0, 0, 0, 0.0f};
char currentCar[OG_CAR_NAME_SIZE] = {};

namespace {

char *g_path = nullptr; // from configBuildPath, or NULL for CONFIG_FALLBACK_PATH
bool g_pathBuilt = false;
bool g_globalsLoaded = false;

float readThreshold(const char *path, const char *section, const char *def)
{
    char text[CONFIG_STRING_SIZE];
    profileGetString(section, CONFIG_CAR_KEYS[4], def, text, sizeof text, path);
    return static_cast<float>(std::strtod(text, nullptr));
}

} // namespace

void configReadGlobals(const char *path, GlobalSettings *out)
{
    for (int i = 0; i < CONFIG_GLOBAL_COUNT; ++i) {
        std::int32_t GlobalSettings::*const field = CONFIG_GLOBAL_FIELDS[i];
        out->*field = profileGetInt("config", CONFIG_GLOBAL_KEYS[i], CONFIG_DEFAULTS.*field, path);
    }
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

void configPrintableName(const char *name, char *out, int size)
{
    if (size <= 0)
        return;
    int i = 0;
    for (; i < size - 1 && name[i] != '\0'; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        out[i] = (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '?';
    }
    out[i] = '\0';
}

void loadConfig()
{
    if (!g_globalsLoaded) {
        if (!g_pathBuilt) {
            g_path = configBuildPath();
            g_pathBuilt = true;
        }
        outPrintf("Loading config %s...\n", configPath());
        configReadGlobals(configPath(), &globalSettings);
        g_globalsLoaded = true;
        return;
    }
    // The car name comes from the network: no control bytes reach the terminal.
    char shown[OG_CAR_NAME_SIZE];
    configPrintableName(currentCar, shown, sizeof shown);
    outPrintf("Car: %s\n", shown);
    configResolveProfile(configPath(), currentCar, &carProfile);
}

const char *configPath()
{
    if (!g_pathBuilt)
        return nullptr;
    return configPathOr(g_path);
}

const char *configPathOr(const char *built)
{
    return built != nullptr ? built : CONFIG_FALLBACK_PATH;
}

void configReset()
{
    std::free(g_path);
    g_path = nullptr;
    g_pathBuilt = false;
    g_globalsLoaded = false;
    globalSettings = CONFIG_DEFAULTS;
    carProfile = CarProfile{0, 0, 0, 0, 0.0f};
    std::memset(currentCar, 0, sizeof currentCar);
}
