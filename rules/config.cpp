// The configuration file's rules: the settings of [config] and the profile of a car.
#include "rules/config.h"
#include "rules/config_backend.h"

#include "rules/profile.h"
#include "base/text.h"

#include <cstdlib>
#include <cstring>

namespace {

float configReadThreshold(const ProfileFile &file, const char *section, const char *def)
{
    char text[CONFIG_STRING_SIZE];
    profileGetString(file, section, CAR_KEYS[CAR_LOWFUEL].name, def, text, sizeof text);
    return static_cast<float>(std::strtod(text, nullptr));
}

} // namespace

void configReadGlobals(const ProfileFile &file, GlobalSettings *out)
{
    for (const ConfigKey &key : CONFIG_KEYS)
        out->*key.field = profileGetInt(file, "config", key.name, key.byDefault);
}

void configResolveProfile(const ProfileFile &file, const char *car, CarProfile *out,
                          unsigned *fromDefault)
{
    CarProfile p;
    for (int i = 0; i < CAR_CODE_COUNT; ++i)
        p.codes[i] = profileGetInt(file, car, CAR_KEYS[i].name, CONFIG_ABSENT_CODE);
    p.lowFuel = configReadThreshold(file, car, "-1.0");

    // Values taken from [default] are final: no marker test on them.
    unsigned from = 0;
    for (int i = 0; i < CAR_CODE_COUNT; ++i) {
        if (p.codes[i] == CONFIG_ABSENT_CODE) {
            p.codes[i] = profileGetInt(file, "default", CAR_KEYS[i].name, 0);
            from |= carKeyBit(CAR_KEYS[i].key);
        }
    }
    if (p.lowFuel < 0.0f) {
        p.lowFuel = configReadThreshold(file, "default", "0.05");
        from |= carKeyBit(CAR_LOWFUEL);
    }
    const char *shiftAt = CAR_KEYS[CAR_SHIFT_AT].name;
    p.shiftAt = profileGetInt(file, car, shiftAt, CONFIG_ABSENT_CODE);
    if (p.shiftAt == CONFIG_ABSENT_CODE) {
        p.shiftAt = profileGetInt(file, "default", shiftAt, LED_SHIFT_AT_DEFAULT);
        from |= carKeyBit(CAR_SHIFT_AT);
    }
    *out = p;
    if (fromDefault != nullptr)
        *fromDefault = from;
}

void configPrintableName(const char *text, std::size_t len, char *out, std::size_t size)
{
    std::size_t i = 0;
    for (; i < len && i + 1 < size; ++i) {
        out[i] = textPrintable(text[i]) ? text[i] : '?';
    }
    out[i] = '\0';
}

bool configStampEqual(const ConfigStamp &a, const ConfigStamp &b)
{
    return a.usable == b.usable && a.size == b.size && a.modified == b.modified;
}

const char *configPathOr(const char *built)
{
    return built != nullptr ? built : CONFIG_FALLBACK_PATH;
}
