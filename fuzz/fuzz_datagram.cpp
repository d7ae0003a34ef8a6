// Fuzz target: any datagram, taken by the receivers' own acceptance rule, through the car
// name and the LED logic with any four codes, threshold, flash times and tick count.
#include "base/text.h"
#include "rules/config.h"
#include "rules/led.h"
#include "outgauge/packet.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The control block in front of the datagram.
struct FuzzControl {
    std::int32_t codes[4]; // LED1, LED2, LED1b, LED2b
    float threshold;       // any bits: NaN and infinities included
    LedFlashTimes flashTimes;
    std::uint32_t tick;
};

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_datagram: %s\n", what);
        std::abort();
    }
}

// The flash phase worked out in 64 bits, where 2T cannot wrap.
bool referencePhase(std::uint32_t tick, std::int32_t flashTime)
{
    if (flashTime < 0)
        return false;
    if (flashTime == 0)
        return true;
    std::uint64_t half = static_cast<std::uint64_t>(flashTime);
    return tick % (2 * half) < half;
}

// What the combination must give whatever the packet holds, where the codes decide alone.
void checkFixedOutcomes(LedAction primary, LedAction secondary, bool led)
{
    if (secondary == -AlwaysOn)
        check(led, "a secondary -14 must force the LED on");
    if (secondary == 0 && primary == AlwaysOn)
        check(led, "code 14 must light the LED");
    if (secondary == 0 && (primary == -AlwaysOn || primary == Off))
        check(!led, "codes -14 and 0 must leave the LED off");
    if (secondary == AlwaysOn && primary == AlwaysOn)
        check(!led, "14 XOR 14 must be off");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzControl control;
    if (size < sizeof control)
        return 0;
    std::memcpy(&control, data, sizeof control);
    data += sizeof control;
    size -= sizeof control;

    // A datagram that is not taken leaves the record as it was (here: zeros).
    OutGaugePacket packet;
    std::memset(&packet, 0, sizeof packet);
    const bool taken = ogPacketAccept(&packet, data, static_cast<long>(size));
    check(taken == (size >= 1), "a datagram of one byte or more is taken");
    const std::size_t kept = size < OG_PACKET_SIZE ? size : OG_PACKET_SIZE;
    for (std::size_t i = taken ? kept : 0; i < OG_PACKET_SIZE; ++i)
        check(packet.bytes[i] == 0, "a byte past the datagram is not zero");
    if (size < OG_OFF_LIGHTS_AVAILABLE + 4)
        check(ogPacketLightsAvailable(packet) == 0, "a partial lights-available word counts");

    char car[OG_CAR_NAME_SIZE];
    ogPacketCarName(packet, car);
    check(ogCarNameFits(car), "car name neither 4 characters at most nor a SkinID");
    char shown[OG_CAR_NAME_SIZE];
    configPrintableName(car, std::strlen(car), shown, sizeof shown);
    check(std::strlen(shown) == std::strlen(car), "printable name of another length");
    for (const char *p = shown; *p != '\0'; ++p)
        check(textPrintable(*p), "a byte that is not printable reached the console");

    const CarProfile profile = {
        {control.codes[0], control.codes[1], control.codes[2], control.codes[3]},
        control.threshold};
    const LedStates states =
        ledEvaluate(profile, control.flashTimes, packet, ledTicksAt(&control.tick));
    checkFixedOutcomes(profile.codes[CAR_LED1], profile.codes[CAR_LED1B], states.led1);
    checkFixedOutcomes(profile.codes[CAR_LED2], profile.codes[CAR_LED2B], states.led2);
    int undefined = 0;
    for (LedAction code : control.codes)
        undefined += ledActionUndefined(code) ? 1 : 0;
    check(states.undefinedCount == undefined, "undefined codes miscounted");

    // The same inputs give the same states.
    const LedStates again =
        ledEvaluate(profile, control.flashTimes, packet, ledTicksAt(&control.tick));
    check(states.led1 == again.led1 && states.led2 == again.led2,
          "the same input gave other states");

    for (std::int32_t t : control.flashTimes.ms)
        check(ledFlashPhase(control.tick, t) == referencePhase(control.tick, t),
              "flash phase differs from the 64-bit reference");
    return 0;
}
