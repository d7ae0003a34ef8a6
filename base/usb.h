// What a USB device's IDs can be.
#pragma once

#include <cstdint>

// Whether id can be a USB product ID at all: 0 to 65535. A configured deviceID beyond that
// matches no device, though the program shows it as it is.
constexpr bool usbProductIdValid(std::int32_t id)
{
    return id >= 0 && id <= 0xFFFF;
}
