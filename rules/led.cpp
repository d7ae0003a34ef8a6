// The table of LED action codes, their evaluation on a datagram and their combination.
#include "rules/led.h"

#include <climits>

const LedActionInfo LED_ACTIONS[LED_ACTION_COUNT] = {
    {LED_TEST_OFF, 0, 0, LED_FLASH_NONE, Off},
    {LED_TEST_LIGHT, OG_SHIFT, OG_DL_SHIFT, LED_FLASH_NONE, ShiftLight},
    {LED_TEST_LIGHT, OG_HANDBRAKE, OG_DL_HANDBRAKE, LED_FLASH_NONE, Handbrake},
    {LED_TEST_LIGHT, OG_PITSPEED, OG_DL_PITSPEED, LED_FLASH_NONE, SpeedLimit},
    {LED_TEST_LIGHT, OG_PITSPEED, OG_DL_PITSPEED, LED_FLASH_SPEEDLIMIT, SpeedLimit},
    {LED_TEST_LIGHT, OG_SIGNAL_L, OG_DL_SIGNAL_L | OG_DL_SIGNAL_ANY, LED_FLASH_NONE, SignalLeft},
    {LED_TEST_LIGHT, OG_SIGNAL_R, OG_DL_SIGNAL_R | OG_DL_SIGNAL_ANY, LED_FLASH_NONE, SignalRight},
    // The current layout has no redline light.
    {LED_TEST_LIGHT, OG_REDLINE, 0, LED_FLASH_NONE, Redline},
    {LED_TEST_LIGHT, OG_OILWARN, OG_DL_OILWARN, LED_FLASH_NONE, OilWarning},
    {LED_TEST_LIGHT, OG_FULLBEAM, OG_DL_FULLBEAM, LED_FLASH_NONE, FullBeam},
    {LED_TEST_FUEL, 0, 0, LED_FLASH_NONE, LowFuel},
    {LED_TEST_LIGHT, OG_TC, OG_DL_TC, LED_FLASH_NONE, TractionControl},
    {LED_TEST_LIGHT, OG_SHIFT, OG_DL_SHIFT, LED_FLASH_SHIFTLIGHT, ShiftLight},
    {LED_TEST_FUEL, 0, 0, LED_FLASH_LOWFUEL, LowFuel},
    {LED_TEST_ALWAYS, 0, 0, LED_FLASH_NONE, AlwaysOn},
    // The earlier layout has neither of these two.
    {LED_TEST_LIGHT, 0, OG_DL_ABS, LED_FLASH_NONE, Abs},
    {LED_TEST_LIGHT, 0, OG_DL_BATTERY, LED_FLASH_NONE, BatteryWarning},
};

namespace {

const LedActionInfo LED_RPM_ABOVE = {LED_TEST_RPM, 0, 0, LED_FLASH_NONE, RpmAbove};
const LedActionInfo LED_UNDEFINED = {LED_TEST_UNDEFINED, 0, 0, LED_FLASH_NONE, 0};

// The word that a datagram's lights are read from, chosen once per datagram: the
// lights-on word when the datagram carries the light words, else the flags word. A game that
// sends no shift light of its own writes the light words; its shift light is the engine speed
// against shiftAt percent of its maximum.
struct LedLights {
    bool current;
    std::uint32_t word;
};

LedLights ledLightsOf(const OutGaugePacket &packet, const OgExtra &extra, std::int32_t shiftAt)
{
    if (!extra.ownShiftLight) {
        std::uint32_t word = ogPacketLightsOn(packet) & ~OG_DL_SHIFT;
        if (ledShiftAt(ogPacketRpm(packet), extra.maxRpm, shiftAt))
            word |= OG_DL_SHIFT;
        return LedLights{true, word};
    }
    if (ogPacketLightsAvailable(packet) != 0)
        return LedLights{true, ogPacketLightsOn(packet)};
    return LedLights{false, ogPacketFlags(packet)};
}

// The tick count of one evaluation: read from the source when the first flashing code
// whose condition holds asks for it, then the same for the rest of the evaluation. The
// clock read costs more than all the other work on a datagram, and one count per
// datagram also keeps LEDs that flash with the same time in step within one report.
struct FlashClock {
    LedTicks source;
    bool read;
    std::uint32_t tick;
};

bool flashOn(FlashClock *clock, std::int32_t flashTime)
{
    if (!clock->read) {
        clock->tick = clock->source.read(clock->source.context);
        clock->read = true;
    }
    return ledFlashPhase(clock->tick, flashTime);
}

// The condition of a code with meaning a and value (see ledActionInfo).
bool ledCondition(const LedActionInfo &a, std::int32_t value, float lowFuel,
                  const LedFlashTimes &flashTimes, const OutGaugePacket &packet,
                  const LedLights &lights, FlashClock *clock)
{
    bool holds = false;
    switch (a.test) {
    case LED_TEST_LIGHT:
        holds = (lights.word & (lights.current ? a.light : a.flag)) != 0;
        break;
    case LED_TEST_FUEL:
        // Strictly below the threshold; a NaN on either side compares false.
        holds = ogPacketFuel(packet) < lowFuel;
        break;
    case LED_TEST_ALWAYS:
        return true;
    case LED_TEST_RPM:
        // The code as a double is exact; a NaN engine speed compares false.
        return static_cast<double>(value) < static_cast<double>(ogPacketRpm(packet));
    default:
        return false;
    }
    return holds && (a.flash == LED_FLASH_NONE || flashOn(clock, flashTimes.ms[a.flash]));
}

// The meaning of code and its value: ledActionInfo, here where the evaluator can inline it.
inline const LedActionInfo &ledLookup(LedAction code, std::int32_t *value)
{
    // -2147483648 has no 32-bit absolute value: it stays as it is, an undefined code.
    *value = code < 0 && code != INT32_MIN ? -code : code;
    if (*value >= RpmAbove)
        return LED_RPM_ABOVE;
    if (*value >= 0 && *value < LED_ACTION_COUNT)
        return LED_ACTIONS[*value];
    return LED_UNDEFINED;
}

std::uint32_t ledReadFixed(const void *tick)
{
    return *static_cast<const std::uint32_t *>(tick);
}

} // namespace

const LedActionInfo &ledActionInfo(LedAction code, std::int32_t *value)
{
    return ledLookup(code, value);
}

bool ledActionUndefined(LedAction code)
{
    std::int32_t value = 0;
    return ledActionInfo(code, &value).test == LED_TEST_UNDEFINED;
}

bool ledFlashPhase(std::uint32_t tick, std::int32_t flashTime)
{
    if (flashTime < 0)
        return false;
    if (flashTime == 0)
        return true;
    // 2T is taken in 32 bits; a flash time of 2^31 or more cannot occur here,
    // so the period is never zero.
    std::uint32_t half = static_cast<std::uint32_t>(flashTime);
    std::uint32_t period = half * 2u;
    return tick % period < half;
}

LedTicks ledTicksAt(const std::uint32_t *tick)
{
    return LedTicks{ledReadFixed, tick};
}

bool ledShiftAt(float rpm, float maxRpm, std::int32_t shiftAt)
{
    if (shiftAt <= 0 || !(maxRpm > 0.0f))
        return false;
    return static_cast<double>(rpm) * 100.0 >
           static_cast<double>(shiftAt) * static_cast<double>(maxRpm);
}

LedStates ledEvaluate(const CarProfile &profile, const LedFlashTimes &flashTimes,
                      const OutGaugePacket &packet, LedTicks ticks, const OgExtra &extra)
{
    FlashClock clock = {ticks, false, 0};
    const LedLights lights = ledLightsOf(packet, extra, profile.shiftAt);
    bool on[CAR_CODE_COUNT];
    LedStates states = {false, false, 0, {0, 0, 0, 0}};
    for (int i = 0; i < CAR_CODE_COUNT; ++i) {
        std::int32_t value = 0;
        const LedActionInfo &a = ledLookup(profile.codes[i], &value);
        if (a.test == LED_TEST_UNDEFINED)
            states.undefined[states.undefinedCount++] = value;
        on[i] = ledCondition(a, value, profile.lowFuel, flashTimes, packet, lights, &clock);
    }
    bool led[2];
    for (int n = 1; n <= 2; ++n) {
        const CarKey primary = carCodeKey(n, false);
        const CarKey secondary = carCodeKey(n, true);
        const bool p = profile.codes[primary] < 0 ? !on[primary] : on[primary];
        led[n - 1] = profile.codes[secondary] < 0 ? (p || on[secondary]) : (p != on[secondary]);
    }
    states.led1 = led[0];
    states.led2 = led[1];
    return states;
}
