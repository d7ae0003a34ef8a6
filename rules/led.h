// LED action codes: the table of what each one means, and their evaluation into the two LED states.
#pragma once

#include <cstddef>
#include <cstdint>

#include "outgauge/packet.h"

typedef std::int32_t LedAction;

enum LedActionCode : std::int32_t {
    Off = 0,
    ShiftLight = 1,
    Handbrake = 2,
    SpeedLimit = 3,
    SpeedLimitFlash = 4,
    SignalLeft = 5,
    SignalRight = 6,
    Redline = 7,
    OilWarning = 8,
    FullBeam = 9,
    LowFuel = 10,
    TractionControl = 11,
    ShiftLightFlash = 12,
    LowFuelFlash = 13,
    AlwaysOn = 14,
    Abs = 15, // the ABS light
    BatteryWarning = 16,
    RpmAbove = 101
};

// What the condition of a code tests.
enum LedTest {
    LED_TEST_OFF,       // nothing: never holds
    LED_TEST_LIGHT,     // a dashboard light, from the word of the datagram's layout
    LED_TEST_FUEL,      // fuel strictly below the car's low-fuel threshold
    LED_TEST_ALWAYS,    // nothing: always holds
    LED_TEST_RPM,       // engine speed strictly above the code's value
    LED_TEST_UNDEFINED, // no action: never holds, and the program says so
};

// The flash time a code flashes with, in the order of the keys in [config].
enum LedFlash {
    LED_FLASH_NONE = -1,
    LED_FLASH_SPEEDLIMIT = 0,
    LED_FLASH_SHIFTLIGHT = 1,
    LED_FLASH_LOWFUEL = 2,
    LED_FLASH_COUNT = 3
};

// The three flash times in milliseconds, indexed by LedFlash.
struct LedFlashTimes {
    std::int32_t ms[LED_FLASH_COUNT];
};

// What one code means. A light is read from the word of the datagram's layout: from the
// light words when the datagram carries them (its lights-available word is not zero, as
// with every current sender), otherwise from the flags word of the earlier layout.
struct LedActionInfo {
    LedTest test;
    std::uint16_t flag;  // LED_TEST_LIGHT, earlier layout: the flags bit (0: no such light)
    std::uint32_t light; // LED_TEST_LIGHT, current layout: the light bits of which any one
                         // lights it (0: no such light); its own is the lowest, and the
                         // turn signals also have the lamp that both sides share
    LedFlash flash;      // while the condition holds, the LED flashes with this time
    LedAction steady;    // a flashing code: the code of the same condition without flashing
};

// The light that is a code's own in the current layout: the lowest of its light bits (the
// turn signals also have the lamp that both sides share); 0 when it has none.
inline std::uint32_t ledOwnLight(const LedActionInfo &a)
{
    return a.light & (~a.light + 1);
}

// The rows of codes 0 to 16 (Off to BatteryWarning).
constexpr int LED_ACTION_COUNT = BatteryWarning + 1;
extern const LedActionInfo LED_ACTIONS[LED_ACTION_COUNT];

// Whether rows, a table with a row for each code (its field code), has the codes of
// LED_ACTIONS in their order and no others. A tool that keeps its own table beside the action
// table asserts this, so that a new code cannot be forgotten there.
template <typename Row, std::size_t N> constexpr bool ledRowsMatchActions(const Row (&rows)[N])
{
    for (std::size_t i = 0; i < N; ++i) {
        if (rows[i].code != static_cast<LedAction>(i))
            return false;
    }
    return N == LED_ACTION_COUNT;
}

// The meaning of code, whose sign plays no part. *value is the code without its sign,
// except -2147483648, which has no 32-bit absolute value: it stays as it is, an undefined
// code. Codes 17 to 100 of either sign are undefined too; 101 and above test the engine
// speed.
const LedActionInfo &ledActionInfo(LedAction code, std::int32_t *value);

// Whether code is undefined (see ledActionInfo).
bool ledActionUndefined(LedAction code);

// Whether the flash phase of flash time flashTime (ms) is on at tick.
// Positive: on for (tick mod 2T) < T. Zero: always on (a steady light).
// Negative: never on.
bool ledFlashPhase(std::uint32_t tick, std::int32_t flashTime);

// The keys of a car's section and of [default]: the four action codes in the order they are
// evaluated, then the low-fuel threshold and the share of the maximum engine speed that lights
// the shift light of a game that sends none.
enum CarKey { CAR_LED1, CAR_LED2, CAR_LED1B, CAR_LED2B, CAR_LOWFUEL, CAR_SHIFT_AT, CAR_KEY_COUNT };

// The keys before CAR_LOWFUEL hold action codes.
constexpr int CAR_CODE_COUNT = CAR_LOWFUEL;

// One car key: its name in the file and, for a code, the LED it drives (1 or 2; 0 for the
// threshold) and whether it is the secondary code of that LED.
struct CarKeyInfo {
    CarKey key;
    const char *name;
    int led;
    bool secondary;
};

inline constexpr CarKeyInfo CAR_KEYS[CAR_KEY_COUNT] = {
    {CAR_LED1, "LED1", 1, false},       {CAR_LED2, "LED2", 2, false},
    {CAR_LED1B, "LED1b", 1, true},      {CAR_LED2B, "LED2b", 2, true},
    {CAR_LOWFUEL, "lowFuel", 0, false}, {CAR_SHIFT_AT, "shiftAt", 0, false},
};

// The key of the primary or secondary code of LED led (1 or 2).
constexpr CarKey carCodeKey(int led, bool secondary)
{
    return static_cast<CarKey>((led - 1) + (secondary ? 2 : 0));
}

// The bit of a key in a set of keys, such as the values a profile took from [default].
constexpr unsigned carKeyBit(CarKey key)
{
    return 1u << key;
}

// Whether the table has one row per key in the enum's order, each code's LED and kind found
// again by carCodeKey, and the two keys that are no codes last.
constexpr bool carKeysComplete()
{
    for (int i = 0; i < CAR_KEY_COUNT; ++i) {
        const CarKeyInfo &k = CAR_KEYS[i];
        if (k.key != i || k.name == nullptr)
            return false;
        if (i < CAR_CODE_COUNT && (k.led < 1 || k.led > 2 || carCodeKey(k.led, k.secondary) != i))
            return false;
    }
    return CAR_KEYS[CAR_LOWFUEL].led == 0 && CAR_KEYS[CAR_SHIFT_AT].led == 0;
}
static_assert(carKeysComplete(), "CAR_KEYS has each car key once, in the order of CarKey");

// The shift light of a game that sends none lights at this percentage of the maximum engine
// speed, unless the car's section or [default] says otherwise.
constexpr std::int32_t LED_SHIFT_AT_DEFAULT = 90;

// The four codes, the low-fuel threshold and the shift light's percentage of a car.
struct CarProfile {
    LedAction codes[CAR_CODE_COUNT]; // indexed by CarKey: LED1, LED2, LED1b, LED2b
    float lowFuel;
    std::int32_t shiftAt = LED_SHIFT_AT_DEFAULT; // 0 or less: such a shift light never lights
};

// Where an evaluation gets its tick count: read(context), called at most once per
// evaluation and only when a flashing code whose condition holds needs the phase.
struct LedTicks {
    std::uint32_t (*read)(const void *context);
    const void *context;
};

// A tick source that gives *tick.
LedTicks ledTicksAt(const std::uint32_t *tick);

// The outcome of one datagram: the two LED states, and the value of each undefined code
// met (see ledActionInfo), in the order the program prints "Unkown LED action" for them.
struct LedStates {
    bool led1;
    bool led2;
    int undefinedCount;
    std::int32_t undefined[CAR_CODE_COUNT];
};

// Evaluates LED1, LED2, LED1b, LED2b of profile on packet in that order and combines them:
// primary inverted when negative; secondary ORed when negative, else XORed. Where extra says
// that the datagram's game sends no shift light, the shift light (codes 1 and 12) is on while
// the engine speed is above profile.shiftAt percent of extra's maximum. Prints nothing and
// reads no state of the program.
LedStates ledEvaluate(const CarProfile &profile, const LedFlashTimes &flashTimes,
                      const OutGaugePacket &packet, LedTicks ticks,
                      const OgExtra &extra = OG_EXTRA_OUTGAUGE);

// Whether the shift light of a game that sends none is on: rpm * 100 > shiftAt * maxRpm, in
// double precision; never for a shiftAt of 0 or less or a maximum that is not above 0 (or NaN).
bool ledShiftAt(float rpm, float maxRpm, std::int32_t shiftAt);
