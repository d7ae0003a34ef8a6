// The LED device's backend contract: what the portable part (hid.cpp) asks of the platform's
// backends (hid_linux.cpp, hid_win32.cpp), and the pure routines behind them. Only the device's
// module, its tests and the benchmarks include it.
#pragma once

#include "hid/hid.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A device handle of the platform (a file descriptor, a HANDLE), or HID_NO_HANDLE.
typedef std::intptr_t HidHandle;
constexpr HidHandle HID_NO_HANDLE = -1;

// The paths of the present HID interfaces of vendor 0x046D and product productId in places
// (their folders; a device path is the portable part's), in the platform's order.
std::vector<std::string> hidSysEnumerate(const HidPlaces &places, std::uint16_t productId);

// Opens path for reading and writing; on failure HID_NO_HANDLE, with the system's reason in
// *reason.
HidHandle hidSysOpen(const std::string &path, std::string *reason);

// Writes the report in one synchronous write; true when all of it went out.
bool hidSysWrite(HidHandle handle, const LedReport &report);

// Whether the device that handle was opened from at path is still there (not unplugged, and
// not replaced by another device under the same path).
bool hidSysPresent(HidHandle handle, const std::string &path, std::uint16_t productId);

void hidSysClose(HidHandle handle);

// The first 32-bit field of the HID interface class GUID, printed at start-up.
std::uint32_t hidSysGuidData1();

// The Linux backend's GUID field: Linux has no such GUID, so it prints Windows' own.
constexpr std::uint32_t HID_GUID_DATA1 = 0x4D1E55B2;

// Counts one present device of the right vendor and product, in the platform's order,
// toward the index-th that initHID opens: true when it is that one (*index is 0);
// otherwise a positive *index counts down by one and a negative one stays.
bool hidTakeMatch(std::int32_t *index);

// Parses the HID_ID=BBBB:VVVVVVVV:PPPPPPPP line of a hidraw parent's uevent text (hexadecimal
// fields), for the Linux backend; portable, so that it is tested on both platforms. Returns
// false when there is no well-formed line.
bool hidParseUevent(const char *text, std::size_t len, std::uint32_t *vendor,
                    std::uint32_t *product);
