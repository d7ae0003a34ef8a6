// LED action codes and their combination into the two LED states.
#pragma once

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
    RpmAbove = 101
};

// The condition of |code| on packet, with the threshold of carProfile, the
// flash times of globalSettings and clockTicks(). Undefined codes print
// "Unkown LED action %d\n" and give false.
bool evalLedAction(LedAction code, const OutGaugePacket &packet);

// Whether code is undefined: 15 to 100 of either sign, and -2147483648, which has no
// 32-bit absolute value. evalLedAction prints "Unkown LED action" for these and gives false.
bool ledActionUndefined(LedAction code);

// Whether the flash phase of flash time flashTime (ms) is on at tick.
// Positive: on for (tick mod 2T) < T. Zero: always on (a steady light).
// Negative: never on.
bool ledFlashPhase(std::uint32_t tick, std::int32_t flashTime);

// Evaluates LED1, LED2, LED1b, LED2b of carProfile in that order and combines
// them: primary inverted when negative; secondary ORed when negative, else XORed.
void ledCombine(const OutGaugePacket &packet, bool *led1, bool *led2);
