// Fuzz target: any one or two datagrams, told apart and read as the receiver reads them (every
// game's decoder, F1's two packets merged, OutGauge's own acceptance rule), through the car name
// and the LED logic with any four codes, threshold, shiftAt, flash times and tick count.
#include "base/text.h"
#include "rules/config.h"
#include "rules/led.h"
#include "outgauge/games.h"
#include "outgauge/packet.h"

#include <cmath>
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
    std::int32_t shiftAt;
    std::uint16_t split; // below the datagrams' size: two datagrams, split there
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
// What any datagram that was taken leaves in the record and beside it.
void checkTaken(const OutGaugePacket &packet, const OgExtra &extra)
{
    if (extra.car[0] == '\0') {
        check(extra.ownShiftLight && std::isnan(extra.maxRpm), "OutGauge with a game's extra");
        return;
    }
    const OgGame game = ogGameOfCar(extra.car);
    check(game != OG_GAME_COUNT, "a game's car name that names no game");
    check(extra.ownShiftLight == OG_GAMES[game].ownShiftLight, "a game's shift light mistaken");
    check(ogPacketLightsAvailable(packet) == OG_GAMES[game].lights, "a game's lights mistaken");
    check((ogPacketLightsOn(packet) & ~OG_GAMES[game].lights) == 0,
          "a light is on that the game does not have");
    const float fuel = ogPacketFuel(packet);
    check(std::isnan(fuel) || (std::isfinite(fuel) && fuel >= 0.0f),
          "a game's fuel is neither a share of a tank nor unknown");
    check(!std::isinf(ogPacketRpm(packet)), "a game's engine speed is infinite");
    check(!std::isinf(extra.maxRpm), "a game's maximum is infinite");
}

bool sameExtra(const OgExtra &a, const OgExtra &b)
{
    return std::memcmp(a.car, b.car, sizeof a.car) == 0 &&
           std::memcmp(&a.maxRpm, &b.maxRpm, sizeof a.maxRpm) == 0 &&
           a.ownShiftLight == b.ownShiftLight;
}

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

    // OutGauge's own rule: a datagram that is not taken leaves the record as it was (here:
    // zeros).
    OutGaugePacket packet;
    std::memset(&packet, 0, sizeof packet);
    const bool taken = ogPacketAccept(&packet, data, static_cast<long>(size));
    check(taken == (size >= 1), "a datagram of one byte or more is taken");
    const std::size_t kept = size < OG_PACKET_SIZE ? size : OG_PACKET_SIZE;
    for (std::size_t i = taken ? kept : 0; i < OG_PACKET_SIZE; ++i)
        check(packet.bytes[i] == 0, "a byte past the datagram is not zero");
    if (size < OG_OFF_LIGHTS_AVAILABLE + 4)
        check(ogPacketLightsAvailable(packet) == 0, "a partial lights-available word counts");

    // The receiver's rule: one or two datagrams in turn, each left in the record when taken.
    std::memset(&packet, 0, sizeof packet);
    OgExtra extra = OG_EXTRA_OUTGAUGE;
    OgGames games = ogGamesInitial();
    const std::size_t first = control.split < size ? control.split : size;
    const std::size_t parts[2][2] = {{0, first}, {first, size - first}};
    for (const auto &part : parts) {
        if (part[1] == 0 && part[0] != 0)
            break;
        const OutGaugePacket before = packet;
        const OgExtra extraBefore = extra;
        const OgVerdict verdict =
            ogRecognize(&games, data + part[0], static_cast<long>(part[1]), &packet, &extra);
        if (verdict == OG_TAKEN) {
            checkTaken(packet, extra);
        } else {
            check(std::memcmp(&before, &packet, sizeof packet) == 0,
                  "a datagram that was not taken changed the record");
            check(sameExtra(extraBefore, extra),
                  "a datagram that was not taken changed what is beside the record");
        }
    }

    char car[OG_CAR_NAME_SIZE];
    ogCarName(packet, extra, car);
    check(std::strlen(car) < OG_CAR_NAME_SIZE, "car name too long");
    if (extra.car[0] == '\0')
        check(ogCarNameFits(car), "car name neither 4 characters at most nor a SkinID");
    char shown[OG_CAR_NAME_SIZE];
    configPrintableName(car, std::strlen(car), shown, sizeof shown);
    check(std::strlen(shown) == std::strlen(car), "printable name of another length");
    for (const char *p = shown; *p != '\0'; ++p)
        check(textPrintable(*p), "a byte that is not printable reached the console");

    const CarProfile profile = {
        {control.codes[0], control.codes[1], control.codes[2], control.codes[3]},
        control.threshold,
        control.shiftAt};
    const LedStates states =
        ledEvaluate(profile, control.flashTimes, packet, ledTicksAt(&control.tick), extra);
    checkFixedOutcomes(profile.codes[CAR_LED1], profile.codes[CAR_LED1B], states.led1);
    checkFixedOutcomes(profile.codes[CAR_LED2], profile.codes[CAR_LED2B], states.led2);
    int undefined = 0;
    for (LedAction code : control.codes)
        undefined += ledActionUndefined(code) ? 1 : 0;
    check(states.undefinedCount == undefined, "undefined codes miscounted");

    // The same inputs give the same states.
    const LedStates again =
        ledEvaluate(profile, control.flashTimes, packet, ledTicksAt(&control.tick), extra);
    check(states.led1 == again.led1 && states.led2 == again.led2,
          "the same input gave other states");

    for (std::int32_t t : control.flashTimes.ms)
        check(ledFlashPhase(control.tick, t) == referencePhase(control.tick, t),
              "flash phase differs from the 64-bit reference");
    return 0;
}
