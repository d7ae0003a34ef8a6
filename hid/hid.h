// The LED device: discovery by vendor and product ID, the LED report, closing, and finding the
// device again when it was missing or went away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint32_t HID_VENDOR_ID = 0x046D;

// First 32-bit field of the HID device interface class GUID, printed at start-up.
constexpr std::uint32_t HID_GUID_DATA1 = 0x4D1E55B2;

// How long a device that is there but cannot be opened (no rights yet, say) is tried quietly
// before the reason is shown.
constexpr std::uint32_t HID_OPEN_PATIENCE_MS = 5000;

// The 8-byte output report: report ID 0, 0x09, then the LED bits.
struct LedReport {
    unsigned char bytes[8];
};

LedReport hidBuildReport(bool led1, bool led2);

// Where the device is looked for; a NULL field takes the system's own place.
// - classDir, devDir (Linux): the folder of hidraw entries (/sys/class/hidraw) and the folder of
//   their nodes (/dev).
// - devicePath: one device to open, without a search and without reading its vendor and
//   product; it is never taken for lost.
struct HidPlaces {
    const char *classDir;
    const char *devDir;
    const char *devicePath;
};
inline constexpr HidPlaces HID_SYSTEM_PLACES = {nullptr, nullptr, nullptr};

// Opens the index-th (from 0) present HID interface with vendor 0x046D and
// product productId, printing its progress. Returns true at once when a device is already
// open. When none can be opened, the device is missing: hidRetry looks for it from then on, in
// the same places (which initHID keeps a copy of).
bool initHID(std::int32_t productId, std::int32_t index,
             const HidPlaces &places = HID_SYSTEM_PLACES);

// Counts one present device of the right vendor and product, in the platform's order,
// toward the index-th that initHID opens: true when it is that one (*index is 0);
// otherwise a positive *index counts down by one and a negative one stays.
bool hidTakeMatch(std::int32_t *index);

// Writes one LedReport; true when all 8 bytes went out.
bool hidSetLeds(bool led1, bool led2);

// Closes the open device; false, doing nothing, when none is open. Either way the device is
// no longer looked for.
bool closeHID();

// Called on every pass of the loop with the tick count; costs next to nothing while the device
// is open and writes succeed. At most once every PACE_RETRY_MS it:
// - after a failed write, asks whether the device is still there; when it is gone, closes it,
//   prints "initHID: Device lost, waiting for it to come back...\n" and starts looking for it;
// - while the device is missing, looks for it quietly with initHID's product and index, and
//   opens it when found, printing the start-up's two lines of a device found. A device that
//   is there but cannot be opened is tried again; its reason is printed once, when it has
//   lasted HID_OPEN_PATIENCE_MS.
// Returns true when this call opened the device.
bool hidRetry(std::uint32_t now);

// Whether a device is open.
bool hidIsOpen();

// The platform's part: the system calls only.

// A device handle of the platform (a file descriptor, a HANDLE), or HID_NO_HANDLE.
typedef std::intptr_t HidHandle;
constexpr HidHandle HID_NO_HANDLE = -1;

// Backend: the paths of the present HID interfaces of vendor 0x046D and product productId in
// places (their folders; a device path is the portable part's), in the platform's order.
std::vector<std::string> hidSysEnumerate(const HidPlaces &places, std::uint16_t productId);

// Backend: opens path for reading and writing; on failure HID_NO_HANDLE, with the system's
// reason in *reason.
HidHandle hidSysOpen(const std::string &path, std::string *reason);

// Backend: writes the report in one synchronous write; true when all of it went out.
bool hidSysWrite(HidHandle handle, const LedReport &report);

// Backend: whether the device that handle was opened from at path is still there (not
// unplugged, and not replaced by another device under the same path).
bool hidSysPresent(HidHandle handle, const std::string &path, std::uint16_t productId);

void hidSysClose(HidHandle handle);

// Backend: the first 32-bit field of the HID interface class GUID.
std::uint32_t hidSysGuidData1();

// Parses the HID_ID=BBBB:VVVVVVVV:PPPPPPPP line of a hidraw parent's uevent
// text (hexadecimal fields). Returns false when there is no well-formed line.
bool hidParseUevent(const char *text, std::size_t len, std::uint32_t *vendor,
                    std::uint32_t *product);
