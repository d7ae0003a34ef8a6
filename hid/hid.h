// The LED device: discovery by vendor and product ID, the LED report, closing, and finding the
// device again when it was missing or went away.
#pragma once

#include <cstdint>

constexpr std::uint32_t HID_VENDOR_ID = 0x046D;

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
//   lasted 5 s, unless initHID printed it already.
// Returns true when this call opened the device.
bool hidRetry(std::uint32_t now);
