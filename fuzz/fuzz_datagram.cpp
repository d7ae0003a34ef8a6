// Fuzz target: any datagram of 0 to 96 bytes, taken the way the receiver takes it, through the
// car name and the LED logic with any four codes, threshold, flash times and tick count.
#include "app/clock.h"
#include "app/config.h"
#include "app/led.h"
#include "outgauge/packet.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The control block in front of the datagram.
struct FuzzControl {
    std::int32_t codes[4]; // LED1, LED2, LED1b, LED2b
    float threshold;       // any bits: NaN and infinities included
    std::int32_t flashTimes[3];
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

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Undefined codes print a message for every evaluation: keep the console quiet.
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzControl control;
    if (size < sizeof control)
        return 0;
    std::memcpy(&control, data, sizeof control);
    data += sizeof control;
    size -= sizeof control;

    // As the receiver does: 1 to 96 bytes are copied and the tail zeroed; anything else is
    // dropped and the record keeps what it held (here: zeros).
    OutGaugePacket packet;
    std::memset(&packet, 0, sizeof packet);
    if (size >= 1 && size <= OG_PACKET_SIZE)
        std::memcpy(packet.bytes, data, size);

    char car[5];
    ogPacketCarName(packet, car);
    check(car[4] == '\0' && std::strlen(car) <= 4, "car name longer than 4");
    char shown[5];
    configPrintableName(car, shown, sizeof shown);
    check(std::strlen(shown) == std::strlen(car), "printable name of another length");
    for (const char *p = shown; *p != '\0'; ++p)
        check(*p >= 0x20 && *p <= 0x7E, "a byte that is not printable reached the console");

    carProfile = CarProfile{control.codes[0], control.codes[1], control.codes[2],
                            control.codes[3], control.threshold};
    globalSettings.speedlimitFlashTime = control.flashTimes[0];
    globalSettings.shiftlightFlashTime = control.flashTimes[1];
    globalSettings.lowfuelFlashTime = control.flashTimes[2];
    clockSetTest(control.tick);

    bool led1 = false, led2 = false;
    ledCombine(packet, &led1, &led2);
    checkFixedOutcomes(carProfile.LED1, carProfile.LED1b, led1);
    checkFixedOutcomes(carProfile.LED2, carProfile.LED2b, led2);

    // The clock stands still, so a second evaluation gives the same states.
    bool again1 = false, again2 = false;
    ledCombine(packet, &again1, &again2);
    check(led1 == again1 && led2 == again2, "the same input gave other states");

    for (std::int32_t t : control.flashTimes)
        check(ledFlashPhase(control.tick, t) == referencePhase(control.tick, t),
              "flash phase differs from the 64-bit reference");
    return 0;
}
