// Evaluation of LED action codes on a datagram and their combination.
#include "app/led.h"

#include "app/clock.h"
#include "app/config.h"
#include "app/out.h"

#include <climits>

namespace {

bool flagSet(const OutGaugePacket &packet, std::uint16_t mask)
{
    return (ogPacketFlags(packet) & mask) != 0;
}

// Strictly below the threshold; a NaN on either side compares false.
bool fuelLow(const OutGaugePacket &packet) { return ogPacketFuel(packet) < carProfile.lowFuel; }

bool flashOn(std::int32_t flashTime) { return ledFlashPhase(clockTicks(), flashTime); }

} // namespace

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
    if (code == INT32_MIN) {
        // No 32-bit absolute value exists: an undefined code.
        outPrintf("Unkown LED action %d\n", static_cast<int>(code));
        return false;
    }
    std::int32_t value = code < 0 ? -code : code;
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
        return flagSet(packet, OG_PITSPEED) && flashOn(globalSettings.speedlimitFlashTime);
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
        return flagSet(packet, OG_SHIFT) && flashOn(globalSettings.shiftlightFlashTime);
    case LowFuelFlash:
        return fuelLow(packet) && flashOn(globalSettings.lowfuelFlashTime);
    case AlwaysOn:
        return true;
    default:
        break;
    }
    if (value < RpmAbove) {
        outPrintf("Unkown LED action %d\n", static_cast<int>(value));
        return false;
    }
    // The code as a double is exact; a NaN engine speed compares false.
    return static_cast<double>(value) < static_cast<double>(ogPacketRpm(packet));
}

void ledCombine(const OutGaugePacket &packet, bool *led1, bool *led2)
{
    const CarProfile profile = carProfile;
    bool p1 = evalLedAction(profile.LED1, packet);
    bool p2 = evalLedAction(profile.LED2, packet);
    bool s1 = evalLedAction(profile.LED1b, packet);
    bool s2 = evalLedAction(profile.LED2b, packet);
    if (profile.LED1 < 0)
        p1 = !p1;
    if (profile.LED2 < 0)
        p2 = !p2;
    *led1 = profile.LED1b < 0 ? (p1 || s1) : (p1 != s1);
    *led2 = profile.LED2b < 0 ? (p2 || s2) : (p2 != s2);
}
