// Evaluation of LED action codes on a datagram and their combination.
#include "app/led.h"

#include "app/clock.h"
#include "app/config.h"
#include "app/out.h"

#include <climits>

namespace {

// The tick count of one evaluation: read from the clock when the first flashing code
// whose condition holds asks for it, then the same for the rest of the evaluation. The
// clock read costs more than all the other work on a datagram, and one count per
// datagram also keeps LEDs that flash with the same time in step within one report.
struct FlashClock {
    bool read;
    std::uint32_t tick;
};

bool flagSet(const OutGaugePacket &packet, std::uint16_t mask)
{
    return (ogPacketFlags(packet) & mask) != 0;
}

// Strictly below the threshold; a NaN on either side compares false.
bool fuelLow(const OutGaugePacket &packet) { return ogPacketFuel(packet) < carProfile.lowFuel; }

bool flashOn(FlashClock *clock, std::int32_t flashTime)
{
    if (!clock->read) {
        clock->tick = clockTicks();
        clock->read = true;
    }
    return ledFlashPhase(clock->tick, flashTime);
}

bool evalWithClock(LedAction code, const OutGaugePacket &packet, FlashClock *clock)
{
    // -2147483648 has no 32-bit absolute value: it stays as it is, an undefined code.
    std::int32_t value = code < 0 && code != INT32_MIN ? -code : code;
    if (ledActionUndefined(code)) {
        outPrintf("Unkown LED action %d\n", static_cast<int>(value));
        return false;
    }
    switch (value) {
    case Off:
        return false;
    case ShiftLight:
        return flagSet(packet, OG_SHIFT);
    case Handbrake:
        return flagSet(packet, OG_HANDBRAKE);
    case SpeedLimit:
        return flagSet(packet, OG_PITSPEED);
    case SpeedLimitFlash:
        return flagSet(packet, OG_PITSPEED) && flashOn(clock, globalSettings.speedlimitFlashTime);
    case SignalLeft:
        return flagSet(packet, OG_SIGNAL_L);
    case SignalRight:
        return flagSet(packet, OG_SIGNAL_R);
    case Redline:
        return flagSet(packet, OG_REDLINE);
    case OilWarning:
        return flagSet(packet, OG_OILWARN);
    case FullBeam:
        return flagSet(packet, OG_FULLBEAM);
    case LowFuel:
        return fuelLow(packet);
    case TractionControl:
        return flagSet(packet, OG_TC);
    case ShiftLightFlash:
        return flagSet(packet, OG_SHIFT) && flashOn(clock, globalSettings.shiftlightFlashTime);
    case LowFuelFlash:
        return fuelLow(packet) && flashOn(clock, globalSettings.lowfuelFlashTime);
    case AlwaysOn:
        return true;
    default:
        break;
    }
    // The code as a double is exact; a NaN engine speed compares false.
    return static_cast<double>(value) < static_cast<double>(ogPacketRpm(packet));
}

} // namespace

bool ledActionUndefined(LedAction code)
{
    if (code == INT32_MIN)
        return true;
    std::int32_t value = code < 0 ? -code : code;
    return value > AlwaysOn && value < RpmAbove;
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

bool evalLedAction(LedAction code, const OutGaugePacket &packet)
{
    FlashClock clock = {false, 0};
    return evalWithClock(code, packet, &clock);
}

void ledCombine(const OutGaugePacket &packet, bool *led1, bool *led2)
{
    const CarProfile profile = carProfile;
    FlashClock clock = {false, 0};
    bool p1 = evalWithClock(profile.LED1, packet, &clock);
    bool p2 = evalWithClock(profile.LED2, packet, &clock);
    bool s1 = evalWithClock(profile.LED1b, packet, &clock);
    bool s2 = evalWithClock(profile.LED2b, packet, &clock);
    if (profile.LED1 < 0)
        p1 = !p1;
    if (profile.LED2 < 0)
        p2 = !p2;
    *led1 = profile.LED1b < 0 ? (p1 || s1) : (p1 != s1);
    *led2 = profile.LED2b < 0 ? (p2 || s2) : (p2 != s2);
}
