// Times one search for the LED device as the program makes it once a second while the device is
// missing, with this system's own devices; built for both platforms (on Windows it is SetupAPI
// and one open of each HID interface).
//   lumivane_search [COUNT] [PRODUCT]    COUNT searches (default 100) for 046D:PRODUCT (CA03)
#include "hid/hid_backend.h"
#include "base/usb.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100;
    const long product = argc > 2 ? std::strtol(argv[2], nullptr, 16) : 0xCA03;
    if (count < 1 || !usbProductIdValid(static_cast<std::int32_t>(product))) {
        std::fprintf(stderr, "usage: lumivane_search [COUNT] [PRODUCT]\n");
        return 2;
    }
    double total = 0.0, least = 0.0;
    std::size_t found = 0;
    for (long i = 0; i < count; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        found = hidSysEnumerate(HID_SYSTEM_PLACES, static_cast<std::uint16_t>(product)).size();
        double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                        .count();
        total += us;
        least = i == 0 || us < least ? us : least;
    }
    std::printf("one search for 046D:%04lX: mean %.1f us, least %.1f us over %ld; %zu found\n",
                product, total / static_cast<double>(count), least, count, found);
    return 0;
}
