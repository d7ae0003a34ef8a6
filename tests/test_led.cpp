// LED action codes, their sign rules and flash phases through the pure evaluator.
#include "rules/config.h"
#include "rules/led.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <limits>
#include <vector>

namespace {

const LedFlashTimes kFlash = configFlashTimes(CONFIG_DEFAULTS);

LedStates eval(const CarProfile &profile, const OutGaugePacket &packet, std::uint32_t tick = 0,
               const LedFlashTimes &flash = kFlash)
{
    return ledEvaluate(profile, flash, packet, ledTicksAt(&tick));
}

// The condition of |code| alone: as LED1b beside an LED1 of 0, whatever its sign.
bool holds(LedAction code, const OutGaugePacket &packet, float lowFuel = 0.1f,
           std::uint32_t tick = 0, const LedFlashTimes &flash = kFlash)
{
    return eval(CarProfile{{Off, Off, code, Off}, lowFuel}, packet, tick, flash).led1;
}

// LED 1 with primary p and secondary s.
bool led1(LedAction p, LedAction s, const OutGaugePacket &packet, std::uint32_t tick = 0)
{
    return eval(CarProfile{{p, Off, s, Off}, 0.1f}, packet, tick).led1;
}

const OutGaugePacket kIdle = testPacket("XRT", 0, 1000.0f, 0.5f);

void putU32(OutGaugePacket &p, std::size_t offset, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        p.bytes[offset + i] = static_cast<unsigned char>(v >> (8 * i));
}

// A datagram of the current layout, byte by byte: the flags word at 8 (keys and units), the
// lights available at 40 and the lights on at 44, a full tank at 28.
OutGaugePacket currentLayout(std::uint16_t flags, std::uint32_t available, std::uint32_t on)
{
    OutGaugePacket p = {};
    p.bytes[8] = static_cast<unsigned char>(flags & 0xFF);
    p.bytes[9] = static_cast<unsigned char>(flags >> 8);
    putU32(p, 28, 0x3F800000u); // 1.0f
    putU32(p, 40, available);
    putU32(p, 44, on);
    return p;
}

// The codes of 1 to 16 whose condition holds on packet, with the default flash times at a
// tick where every flash phase is on and a low-fuel threshold of 0.05.
std::vector<LedAction> holding(const OutGaugePacket &packet)
{
    std::vector<LedAction> codes;
    for (LedAction code = 1; code <= BatteryWarning; ++code) {
        if (holds(code, packet, 0.05f))
            codes.push_back(code);
    }
    return codes;
}

} // namespace

TEST(Led, EachBitCodeTestsItsOwnBitOnly)
{
    struct Case {
        LedAction code;
        unsigned bit;
    } cases[] = {{ShiftLight, 0x0001},      {Handbrake, 0x0004},      {SpeedLimit, 0x0008},
                 {SignalLeft, 0x0040},      {SignalRight, 0x0080},    {Redline, 0x0100},
                 {OilWarning, 0x0200},      {FullBeam, 0x0002},       {TractionControl, 0x0010},
                 {ShiftLightFlash, 0x0001}, {SpeedLimitFlash, 0x0008}};
    for (const Case &c : cases) {
        EXPECT_TRUE(holds(c.code, testPacket("", c.bit, 0, 1))) << c.code;
        EXPECT_FALSE(holds(c.code, testPacket("", 0xFFFFu & ~c.bit, 0, 1))) << c.code;
        // The sign is never part of the evaluation.
        EXPECT_TRUE(holds(-c.code, testPacket("", c.bit, 0, 1))) << c.code;
    }
    // ABS and the battery warning are lights of the current layout only.
    EXPECT_EQ(holding(testPacket("", 0xFFFF, 0, 1)),
              (std::vector<LedAction>{1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 14}));
}

// With the light words, each light of the word at 44 lights its codes, and no bit of the flags
// word (the Shift and Ctrl keys, the units) lights anything.
TEST(Led, CurrentLayoutReadsTheLightsWordAndNeverTheKeys)
{
    const std::vector<LedAction> byBit[11] = {{1, 12}, {9},    {2}, {3, 4}, {11}, {5},
                                              {6},     {5, 6}, {8}, {16},   {15}};
    for (unsigned bit = 0; bit < 32; ++bit) {
        std::vector<LedAction> want = bit < 11 ? byBit[bit] : std::vector<LedAction>{};
        want.push_back(AlwaysOn);
        std::sort(want.begin(), want.end());
        EXPECT_EQ(holding(currentLayout(0, 0x7FF, 1u << bit)), want) << "light bit " << bit;
    }
    for (unsigned bit = 0; bit < 16; ++bit)
        EXPECT_EQ(holding(currentLayout(static_cast<std::uint16_t>(1u << bit), 1, 0)),
                  std::vector<LedAction>{AlwaysOn})
            << "flags bit " << bit;
    // Any light available decides the layout, whichever it is; redline is never on.
    EXPECT_EQ(holding(currentLayout(0xFFFF, 0x80000000u, 0xFFFFFFFFu)),
              (std::vector<LedAction>{1, 2, 3, 4, 5, 6, 8, 9, 11, 12, 14, 15, 16}));
    // No light available: the earlier layout, whatever the word at 44 holds.
    EXPECT_EQ(holding(currentLayout(OG_REDLINE, 0, 0xFFFFFFFFu)), (std::vector<LedAction>{7, 14}));
}

// Datagrams as each current sender writes them (tests/data), taken as the receivers take
// them: the car name and the codes that hold.
TEST(Led, CurrentSendersAsTheyWriteTheirDatagrams)
{
    const struct {
        const char *file;
        std::size_t size;
        const char *car;
        std::vector<LedAction> codes;
    } senders[] = {
        {"datagram_simulator.hex", 96, "XRT", {3, 4, 14}},
        {"datagram_mod_car.hex", 92, "5882E6", {1, 6, 12, 14}},
        {"datagram_beamng_older.hex", 96, "beam", {2, 14, 15}},
        {"datagram_beamng.hex", 109, "beam", {1, 10, 11, 12, 13, 14, 16}},
        {"datagram_ror.hex", 96, "RoR", {5, 6, 9, 10, 13, 14}},
    };
    for (const auto &sender : senders) {
        SCOPED_TRACE(sender.file);
        const std::vector<unsigned char> bytes = testDatagramFile(sender.file);
        ASSERT_EQ(bytes.size(), sender.size);
        OutGaugePacket p;
        ASSERT_TRUE(ogPacketAccept(&p, bytes.data(), static_cast<long>(bytes.size())));
        char car[OG_CAR_NAME_SIZE];
        ogPacketCarName(p, car);
        EXPECT_STREQ(car, sender.car);
        EXPECT_EQ(holding(p), sender.codes);
    }
}

// A game without a shift light of its own: codes 1 and 12 light while rpm * 100 > shiftAt * max
// (the datagram tables of test_games.cpp try the maximum); with one, its light alone.
TEST(Led, ShiftAtLightsAboveItsShareOfTheMaximum)
{
    const struct {
        float rpm;
        std::int32_t shiftAt;
        bool own, on;
    } cases[] = {{7200, 90, false, false},  {7201, 90, false, true}, {8000, 100, false, false},
                 {12001, 150, false, true}, {81, 1, false, true},    {9000, 0, false, false},
                 {9000, -5, false, false},  {9000, 90, true, false}};
    for (const auto &c : cases) {
        const CarProfile profile = {{ShiftLight, ShiftLightFlash, Off, Off}, 0.1f, c.shiftAt};
        const std::uint32_t tick = 0;
        const LedStates s = ledEvaluate(profile, kFlash, testPacket("", 0, c.rpm, 1),
                                        ledTicksAt(&tick), {"", 8000, c.own});
        EXPECT_TRUE(s.led1 == c.on && s.led2 == c.on) << c.rpm << " at " << c.shiftAt;
    }
}

TEST(Led, OffAlwaysOnAndLowFuel)
{
    EXPECT_FALSE(holds(Off, testPacket("", 0xFFFF, 1e9f, 0)));
    EXPECT_TRUE(holds(AlwaysOn, kIdle));
    EXPECT_TRUE(holds(-AlwaysOn, kIdle));

    EXPECT_TRUE(holds(LowFuel, testPacket("", 0, 0, 0.09f)));
    EXPECT_FALSE(holds(LowFuel, testPacket("", 0, 0, 0.1f))); // strictly below
    EXPECT_FALSE(holds(LowFuel, testPacket("", 0, 0, 0.0f), 0.0f));
    EXPECT_FALSE(holds(LowFuelFlash, testPacket("", 0, 0, 0.0f), 0.0f));
    EXPECT_TRUE(holds(LowFuel, testPacket("", 0, 0, -0.5f), 0.0f));
}

TEST(Led, RpmAboveIsStrict)
{
    EXPECT_FALSE(holds(101, testPacket("", 0, 101.0f, 0)));
    EXPECT_TRUE(holds(101, testPacket("", 0, 101.5f, 0)));
    EXPECT_TRUE(holds(7000, testPacket("", 0, 7000.5f, 0)));
    EXPECT_FALSE(holds(7000, testPacket("", 0, 6999.0f, 0)));
    EXPECT_TRUE(holds(INT32_MAX, testPacket("", 0, 3e9f, 0)));
    // Code -150 as a primary: on while the engine speed is at most 150.
    EXPECT_TRUE(led1(-150, 0, testPacket("", 0, 150.0f, 0)));
    EXPECT_FALSE(led1(-150, 0, testPacket("", 0, 150.5f, 0)));
}

TEST(Led, NanAndInfinityNeverLightByAccident)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(holds(101, testPacket("", 0, nan, 0)));
    EXPECT_FALSE(holds(101, testPacket("", 0, -inf, 0)));
    EXPECT_TRUE(holds(101, testPacket("", 0, inf, 0)));
    EXPECT_FALSE(holds(LowFuel, testPacket("", 0, 0, nan)));
    EXPECT_FALSE(holds(LowFuelFlash, testPacket("", 0, 0, nan)));
    EXPECT_FALSE(holds(LowFuel, testPacket("", 0, 0, inf)));
    EXPECT_FALSE(holds(LowFuel, testPacket("", 0, 0, -inf), nan));
}

TEST(Led, UndefinedCodesGiveFalseAndTheirAbsoluteValueInOrder)
{
    const LedStates s =
        eval(CarProfile{{17, -50, INT32_MIN, 100}, 0.1f}, testPacket("", 0xFFFF, 1e9f, 0));
    // -2147483648 has no 32-bit absolute value: it stays as it is.
    EXPECT_EQ(std::vector<std::int32_t>(s.undefined, s.undefined + s.undefinedCount),
              (std::vector<std::int32_t>{17, 50, INT32_MIN, 100}));
    // As a primary code the false result is inverted: the LED is on.
    EXPECT_FALSE(s.led1);
    EXPECT_TRUE(s.led2);
    EXPECT_TRUE(led1(INT32_MIN, 0, kIdle));
    EXPECT_EQ(eval(CarProfile{{14, 101, 16, -15}, 0.1f}, kIdle).undefinedCount, 0);
}

TEST(Led, PrimarySignInvertsSecondarySignChoosesOrOverXor)
{
    const OutGaugePacket limiter = testPacket("", OG_PITSPEED, 0, 1);
    const OutGaugePacket shift = testPacket("", OG_SHIFT, 0, 1);
    const OutGaugePacket both = testPacket("", OG_PITSPEED | OG_SHIFT, 0, 1);

    // Primary sign inverts.
    EXPECT_TRUE(led1(-SpeedLimit, 0, kIdle));
    EXPECT_FALSE(led1(-SpeedLimit, 0, limiter));
    EXPECT_FALSE(led1(-AlwaysOn, 0, kIdle));
    EXPECT_TRUE(led1(AlwaysOn, 0, kIdle));
    EXPECT_FALSE(led1(0, 0, kIdle));

    // Secondary: positive XORs, negative ORs; the sign never inverts it.
    EXPECT_FALSE(led1(AlwaysOn, AlwaysOn, kIdle));
    EXPECT_TRUE(led1(Off, AlwaysOn, kIdle));
    EXPECT_TRUE(led1(AlwaysOn, -AlwaysOn, kIdle));
    EXPECT_TRUE(led1(Off, -AlwaysOn, kIdle));
    EXPECT_TRUE(led1(Off, -SpeedLimit, limiter));
    EXPECT_FALSE(led1(Off, -SpeedLimit, kIdle));

    // Shift light with the limiter as an XOR secondary.
    EXPECT_TRUE(led1(ShiftLight, SpeedLimit, shift));
    EXPECT_TRUE(led1(ShiftLight, SpeedLimit, limiter));
    EXPECT_FALSE(led1(ShiftLight, SpeedLimit, both));
    EXPECT_TRUE(led1(ShiftLight, -SpeedLimit, both));
}

TEST(Led, BothLedsAreIndependent)
{
    const CarProfile signals = {{SignalLeft, SignalRight, 0, 0}, 0.1f};
    LedStates s = eval(signals, testPacket("", OG_SIGNAL_R, 0, 1));
    EXPECT_FALSE(s.led1);
    EXPECT_TRUE(s.led2);
    s = eval(signals, testPacket("", OG_SIGNAL_L | OG_SIGNAL_R, 0, 1));
    EXPECT_TRUE(s.led1);
    EXPECT_TRUE(s.led2);

    // Each LED follows the signs of its own codes, never those of the other LED's.
    const OutGaugePacket both = testPacket("", OG_PITSPEED | OG_SHIFT, 0, 1);
    s = eval(CarProfile{{SpeedLimit, SpeedLimit, ShiftLight, -ShiftLight}, 0.1f}, both);
    EXPECT_FALSE(s.led1); // XOR
    EXPECT_TRUE(s.led2);  // OR
    s = eval(CarProfile{{SpeedLimit, SpeedLimit, -ShiftLight, ShiftLight}, 0.1f}, both);
    EXPECT_TRUE(s.led1);
    EXPECT_FALSE(s.led2);
    s = eval(CarProfile{{-SpeedLimit, SpeedLimit, 0, 0}, 0.1f}, both);
    EXPECT_FALSE(s.led1);
    EXPECT_TRUE(s.led2);
    s = eval(CarProfile{{SpeedLimit, -SpeedLimit, 0, 0}, 0.1f}, both);
    EXPECT_TRUE(s.led1);
    EXPECT_FALSE(s.led2);
}

TEST(LedFlashPhase, HalfPeriodBoundaries)
{
    EXPECT_TRUE(ledFlashPhase(0, 200));
    EXPECT_TRUE(ledFlashPhase(199, 200));
    EXPECT_FALSE(ledFlashPhase(200, 200));
    EXPECT_FALSE(ledFlashPhase(399, 200));
    EXPECT_TRUE(ledFlashPhase(400, 200));
    EXPECT_TRUE(ledFlashPhase(0, 1));
    EXPECT_FALSE(ledFlashPhase(1, 1));
    EXPECT_TRUE(ledFlashPhase(2, 1));
}

TEST(LedFlashPhase, RestartsAtTheWrapOfTheTickCount)
{
    // 2^32 mod 400 = 96: the last phase before the wrap is at 95 of the period.
    EXPECT_TRUE(ledFlashPhase(UINT32_MAX, 200));
    EXPECT_TRUE(ledFlashPhase(0, 200));
    // 2^32 - 1 mod 2000 = 1295: off just before the wrap, on at 0.
    EXPECT_FALSE(ledFlashPhase(UINT32_MAX, 1000));
    EXPECT_TRUE(ledFlashPhase(0, 1000));
    // The largest flash time still has a period (2^32 - 2).
    EXPECT_TRUE(ledFlashPhase(INT32_MAX - 1, INT32_MAX));
    EXPECT_FALSE(ledFlashPhase(INT32_MAX, INT32_MAX));
    EXPECT_TRUE(ledFlashPhase(UINT32_MAX - 1, INT32_MAX));
}

TEST(LedFlashPhase, ZeroIsSteadyNegativeIsNeverOn)
{
    for (std::uint32_t t : {0u, 1u, 200u, 12345u, UINT32_MAX}) {
        EXPECT_TRUE(ledFlashPhase(t, 0));
        EXPECT_FALSE(ledFlashPhase(t, -1));
        EXPECT_FALSE(ledFlashPhase(t, INT32_MIN));
    }
}

TEST(Led, FlashingCodesFollowTheClockOnlyWhileTheirConditionHolds)
{
    const LedFlashTimes times = {{50, 200, 1000}}; // limiter, shift light, low fuel
    const OutGaugePacket all = testPacket("", OG_SHIFT | OG_PITSPEED, 0, 0.01f);

    EXPECT_TRUE(holds(ShiftLightFlash, all, 0.1f, 199, times));
    EXPECT_FALSE(holds(SpeedLimitFlash, all, 0.1f, 199, times)); // 199 mod 100 = 99 >= 50
    EXPECT_TRUE(holds(LowFuelFlash, all, 0.1f, 199, times));
    EXPECT_FALSE(holds(ShiftLightFlash, all, 0.1f, 200, times));
    EXPECT_TRUE(holds(SpeedLimitFlash, all, 0.1f, 200, times));
    EXPECT_FALSE(holds(LowFuelFlash, all, 0.1f, 1000, times));

    // Flash time 0 shows the condition steadily; a negative one never lights.
    const LedFlashTimes steady = {{50, 0, INT32_MIN}};
    for (std::uint32_t t : {0u, 200u, 4294967295u}) {
        EXPECT_TRUE(holds(ShiftLightFlash, all, 0.1f, t, steady));
        EXPECT_FALSE(holds(ShiftLightFlash, kIdle, 0.1f, t, steady));
        EXPECT_FALSE(holds(LowFuelFlash, all, 0.1f, t, steady));
    }

    // XOR with the limiter: flashing inverted while both are on.
    const OutGaugePacket both = testPacket("", OG_SHIFT | OG_PITSPEED, 0, 1);
    EXPECT_FALSE(led1(ShiftLightFlash, SpeedLimit, both, 100));
    EXPECT_TRUE(led1(ShiftLightFlash, SpeedLimit, both, 300));

    // The clock is read once per datagram, and only when a flashing code's condition holds.
    static int reads = 0;
    const LedTicks counted = {[](const void *) { return std::uint32_t(++reads); }, nullptr};
    ledEvaluate(CarProfile{{12, 4, 13, 1}, 0.1f}, times, kIdle, counted);
    EXPECT_EQ(reads, 0);
    ledEvaluate(CarProfile{{12, 4, 13, 12}, 0.1f}, times, all, counted);
    EXPECT_EQ(reads, 1);
}
