// The LED device: discovery by vendor and product ID, the LED report, closing.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t HID_VENDOR_ID = 0x046D;

// First 32-bit field of the HID device interface class GUID, printed at start-up.
constexpr std::uint32_t HID_GUID_DATA1 = 0x4D1E55B2;

// The 8-byte output report: report ID 0, 0x09, then the LED bits.
struct LedReport {
    unsigned char bytes[8];
};

LedReport hidBuildReport(bool led1, bool led2);

// Opens the index-th (from 0) present HID interface with vendor 0x046D and
// product productId. Returns true at once when a device is already open.
bool initHID(std::int32_t productId, std::int32_t index);

// Counts one present device of the right vendor and product, in the platform's order,
// toward the index-th that initHID opens: true when it is that one (*index is 0);
// otherwise a positive *index counts down by one and a negative one stays.
bool hidTakeMatch(std::int32_t *index);

// Writes one LedReport; true when all 8 bytes went out.
bool hidSetLeds(bool led1, bool led2);

// Closes the open device; false, doing nothing, when none is open.
bool closeHID();

// Parses the HID_ID=BBBB:VVVVVVVV:PPPPPPPP line of a hidraw parent's uevent
// text (hexadecimal fields). Returns false when there is no well-formed line.
bool hidParseUevent(const char *text, std::size_t len, std::uint32_t *vendor,
                    std::uint32_t *product);
