// LED action codes, their sign rules and flash phases.
#include "app/clock.h"
#include "app/config.h"
#include "app/led.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

class Led : public testing::Test {
protected:
    void SetUp() override
    {
        configReset();
        carProfile.lowFuel = 0.1f;
        clockSetTest(0);
    }
    void TearDown() override
    {
        clockClearTest();
        configReset();
    }

    // LED1 with primary p and secondary s on packet.
    static bool led1(LedAction p, LedAction s, const OutGaugePacket &packet)
    {
        carProfile.LED1 = p;
        carProfile.LED1b = s;
        carProfile.LED2 = 0;
        carProfile.LED2b = 0;
        bool l1 = false, l2 = true;
        ledCombine(packet, &l1, &l2);
        EXPECT_FALSE(l2);
        return l1;
    }
};

const OutGaugePacket kIdle = testPacket("XRT", 0, 1000.0f, 0.5f);

} // namespace

TEST_F(Led, EachBitCodeTestsItsOwnBitOnly)
{
    struct Case {
        LedAction code;
        unsigned bit;
    } cases[] = {{ShiftLight, 0x0001}, {Handbrake, 0x0004},      {SpeedLimit, 0x0008},
                 {SignalLeft, 0x0040}, {SignalRight, 0x0080},    {Redline, 0x0100},
                 {OilWarning, 0x0200}, {FullBeam, 0x0002},       {TractionControl, 0x0010},
                 {ShiftLightFlash, 0x0001}, {SpeedLimitFlash, 0x0008}};
    for (const Case &c : cases) {
        EXPECT_TRUE(evalLedAction(c.code, testPacket("", c.bit, 0, 1))) << c.code;
        EXPECT_FALSE(evalLedAction(c.code, testPacket("", 0xFFFFu & ~c.bit, 0, 1))) << c.code;
        // The sign is never part of the evaluation.
        EXPECT_TRUE(evalLedAction(-c.code, testPacket("", c.bit, 0, 1))) << c.code;
    }
}

TEST_F(Led, OffAlwaysOnAndLowFuel)
{
    EXPECT_FALSE(evalLedAction(Off, testPacket("", 0xFFFF, 1e9f, 0)));
    EXPECT_TRUE(evalLedAction(AlwaysOn, kIdle));
    EXPECT_TRUE(evalLedAction(-AlwaysOn, kIdle));

    EXPECT_TRUE(evalLedAction(LowFuel, testPacket("", 0, 0, 0.09f)));
    EXPECT_FALSE(evalLedAction(LowFuel, testPacket("", 0, 0, 0.1f))); // strictly below
    carProfile.lowFuel = 0.0f;
    EXPECT_FALSE(evalLedAction(LowFuel, testPacket("", 0, 0, 0.0f)));
    EXPECT_FALSE(evalLedAction(LowFuelFlash, testPacket("", 0, 0, 0.0f)));
    EXPECT_TRUE(evalLedAction(LowFuel, testPacket("", 0, 0, -0.5f)));
}

TEST_F(Led, RpmAboveIsStrict)
{
    EXPECT_FALSE(evalLedAction(101, testPacket("", 0, 101.0f, 0)));
    EXPECT_TRUE(evalLedAction(101, testPacket("", 0, 101.5f, 0)));
    EXPECT_TRUE(evalLedAction(7000, testPacket("", 0, 7000.5f, 0)));
    EXPECT_FALSE(evalLedAction(7000, testPacket("", 0, 6999.0f, 0)));
    EXPECT_TRUE(evalLedAction(INT32_MAX, testPacket("", 0, 3e9f, 0)));
    // Code -150 as a primary: on while the engine speed is at most 150.
    EXPECT_TRUE(led1(-150, 0, testPacket("", 0, 150.0f, 0)));
    EXPECT_FALSE(led1(-150, 0, testPacket("", 0, 150.5f, 0)));
}

TEST_F(Led, NanAndInfinityNeverLightByAccident)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(evalLedAction(101, testPacket("", 0, nan, 0)));
    EXPECT_FALSE(evalLedAction(101, testPacket("", 0, -inf, 0)));
    EXPECT_TRUE(evalLedAction(101, testPacket("", 0, inf, 0)));
    EXPECT_FALSE(evalLedAction(LowFuel, testPacket("", 0, 0, nan)));
    EXPECT_FALSE(evalLedAction(LowFuelFlash, testPacket("", 0, 0, nan)));
    EXPECT_FALSE(evalLedAction(LowFuel, testPacket("", 0, 0, inf)));
    carProfile.lowFuel = nan;
    EXPECT_FALSE(evalLedAction(LowFuel, testPacket("", 0, 0, -inf)));
}

TEST_F(Led, UndefinedCodesPrintTheirAbsoluteValueAndGiveFalse)
{
    for (LedAction code : {15, 100, -50}) {
        testCaptureBegin();
        bool on = evalLedAction(code, testPacket("", 0xFFFF, 1e9f, 0));
        std::string out = testCaptureEnd();
        EXPECT_FALSE(on);
        EXPECT_EQ(out, "Unkown LED action " + std::to_string(code < 0 ? -code : code) + "\n");
    }
    testCaptureBegin();
    EXPECT_FALSE(evalLedAction(INT32_MIN, kIdle));
    EXPECT_EQ(testCaptureEnd(), "Unkown LED action -2147483648\n");

    // As a primary code the false result is inverted: the LED is on.
    testCaptureBegin();
    EXPECT_TRUE(led1(-50, 0, kIdle));
    EXPECT_TRUE(led1(INT32_MIN, 0, kIdle));
    testCaptureEnd();
}

TEST_F(Led, CombinationEvaluatesInOrderLed1Led2Led1bLed2b)
{
    carProfile.LED1 = 21;
    carProfile.LED2 = 22;
    carProfile.LED1b = 23;
    carProfile.LED2b = -24;
    bool l1, l2;
    testCaptureBegin();
    ledCombine(kIdle, &l1, &l2);
    EXPECT_EQ(testCaptureEnd(), "Unkown LED action 21\nUnkown LED action 22\n"
                                "Unkown LED action 23\nUnkown LED action 24\n");
}

TEST_F(Led, PrimarySignInvertsSecondarySignChoosesOrOverXor)
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

TEST_F(Led, BothLedsAreIndependent)
{
    carProfile.LED1 = SignalLeft;
    carProfile.LED2 = SignalRight;
    carProfile.LED1b = 0;
    carProfile.LED2b = 0;
    bool l1, l2;
    ledCombine(testPacket("", OG_SIGNAL_R, 0, 1), &l1, &l2);
    EXPECT_FALSE(l1);
    EXPECT_TRUE(l2);
    ledCombine(testPacket("", OG_SIGNAL_L | OG_SIGNAL_R, 0, 1), &l1, &l2);
    EXPECT_TRUE(l1);
    EXPECT_TRUE(l2);

    // Each LED follows the signs of its own codes, never those of the other LED's.
    const OutGaugePacket both = testPacket("", OG_PITSPEED | OG_SHIFT, 0, 1);
    carProfile = CarProfile{SpeedLimit, SpeedLimit, ShiftLight, -ShiftLight, 0.1f};
    ledCombine(both, &l1, &l2);
    EXPECT_FALSE(l1); // XOR
    EXPECT_TRUE(l2);  // OR
    carProfile = CarProfile{SpeedLimit, SpeedLimit, -ShiftLight, ShiftLight, 0.1f};
    ledCombine(both, &l1, &l2);
    EXPECT_TRUE(l1);
    EXPECT_FALSE(l2);
    carProfile = CarProfile{-SpeedLimit, SpeedLimit, 0, 0, 0.1f};
    ledCombine(both, &l1, &l2);
    EXPECT_FALSE(l1);
    EXPECT_TRUE(l2);
    carProfile = CarProfile{SpeedLimit, -SpeedLimit, 0, 0, 0.1f};
    ledCombine(both, &l1, &l2);
    EXPECT_TRUE(l1);
    EXPECT_FALSE(l2);
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

TEST_F(Led, FlashingCodesFollowTheClockOnlyWhileTheirConditionHolds)
{
    globalSettings.shiftlightFlashTime = 200;
    globalSettings.speedlimitFlashTime = 50;
    globalSettings.lowfuelFlashTime = 1000;
    const OutGaugePacket all = testPacket("", OG_SHIFT | OG_PITSPEED, 0, 0.01f);

    clockSetTest(199);
    EXPECT_TRUE(evalLedAction(ShiftLightFlash, all));
    EXPECT_FALSE(evalLedAction(SpeedLimitFlash, all)); // 199 mod 100 = 99 >= 50
    EXPECT_TRUE(evalLedAction(LowFuelFlash, all));
    clockSetTest(200);
    EXPECT_FALSE(evalLedAction(ShiftLightFlash, all));
    EXPECT_TRUE(evalLedAction(SpeedLimitFlash, all));
    clockSetTest(1000);
    EXPECT_FALSE(evalLedAction(LowFuelFlash, all));

    // Flash time 0 shows the condition steadily; a negative one never lights.
    globalSettings.shiftlightFlashTime = 0;
    globalSettings.lowfuelFlashTime = INT32_MIN;
    for (std::uint32_t t : {0u, 200u, 4294967295u}) {
        clockSetTest(t);
        EXPECT_TRUE(evalLedAction(ShiftLightFlash, all));
        EXPECT_FALSE(evalLedAction(ShiftLightFlash, kIdle));
        EXPECT_FALSE(evalLedAction(LowFuelFlash, all));
    }

    // XOR with the limiter: flashing inverted while both are on.
    globalSettings.shiftlightFlashTime = 200;
    const OutGaugePacket both = testPacket("", OG_SHIFT | OG_PITSPEED, 0, 1);
    clockSetTest(100);
    EXPECT_FALSE(led1(ShiftLightFlash, SpeedLimit, both));
    clockSetTest(300);
    EXPECT_TRUE(led1(ShiftLightFlash, SpeedLimit, both));
}
