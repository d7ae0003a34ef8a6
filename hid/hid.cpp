// The portable part of the LED device: the search, the report, closing, and finding the device
// again; the backends only enumerate, open, write and close.
#include "hid/hid_backend.h"

#include "base/out.h"
#include "base/pace.h"
#include "base/usb.h"

#include <atomic>
#include <mutex>

namespace {

// closeHID also runs on the console-event thread while the main loop may be writing or
// searching: every routine that touches the state below holds this lock.
std::mutex g_lock;

HidHandle g_device = HID_NO_HANDLE;
std::string g_path; // the open device's path

// What initHID was asked for, which hidRetry looks for again, and where.
std::int32_t g_productId = 0;
std::int32_t g_index = 0;
std::string g_classDir, g_devDir, g_devicePath;
HidPlaces g_places = HID_SYSTEM_PLACES;

// The device is missing (none found, or it went away): hidRetry looks for it.
bool g_missing = false;
// A write failed since hidRetry last asked whether the device is still there.
bool g_writeFailed = false;
// Whether hidRetry has anything to do: g_missing or g_writeFailed. Read without the lock on
// every pass, so that a pass with the device open and working costs one load.
std::atomic<bool> g_attention{false};

Pace g_pace = {false, 0};

// How long a device that is there but cannot be opened (no rights yet, say) is tried quietly
// before the reason is shown.
constexpr std::uint32_t HID_OPEN_PATIENCE_MS = 5000;

// A device that is there but cannot be opened: since when, and whether its reason was shown.
bool g_openFailing = false;
std::uint32_t g_openFailingSince = 0;
bool g_reasonShown = false;

void hidAttend()
{
    g_attention.store(g_missing || g_writeFailed, std::memory_order_relaxed);
}

// What one search found.
struct HidSearch {
    HidHandle handle;     // the device opened, or HID_NO_HANDLE
    std::string path;     // its path
    bool openFailed;      // a matching device could not be opened
    std::string failPath; // the last such device's path
    std::string failWhy;  // and the system's reason
};

// The index-th matching device that opens; loud prints every device that cannot be opened.
HidSearch hidSearch(std::int32_t productId, std::int32_t index, bool loud)
{
    HidSearch result = {HID_NO_HANDLE, std::string(), false, std::string(), std::string()};
    // A product ID outside 16 bits names no USB device.
    if (!usbProductIdValid(productId))
        return result;
    // A device given by its path is the only one, whatever its vendor and product.
    const std::vector<std::string> paths =
        g_places.devicePath != nullptr
            ? std::vector<std::string>{g_places.devicePath}
            : hidSysEnumerate(g_places, static_cast<std::uint16_t>(productId));
    for (const std::string &path : paths) {
        std::string why;
        HidHandle handle = hidSysOpen(path, &why);
        if (handle == HID_NO_HANDLE) {
            if (loud)
                outPrintf("initHID: Cannot open %s: %s\n", path.c_str(), why.c_str());
            result.openFailed = true;
            result.failPath = path;
            result.failWhy = why;
            continue;
        }
        if (hidTakeMatch(&index)) {
            result.handle = handle;
            result.path = path;
            return result;
        }
        hidSysClose(handle);
    }
    return result;
}

void hidKeep(const HidSearch &found)
{
    g_device = found.handle;
    g_path = found.path;
    g_missing = false;
    g_writeFailed = false;
    g_openFailing = false;
    g_reasonShown = false;
    hidAttend();
}

void hidPrintSearching(std::int32_t productId)
{
    outPrintf("initHID: Initializing HID (Device ID 0x%04X)...", static_cast<unsigned>(productId));
    outPrintf("HID GUID: %X\n", static_cast<unsigned>(hidSysGuidData1()));
}

// A place of initHID kept in copy for the searches that follow; NULL stays NULL.
const char *hidKeepPlace(const char *place, std::string *copy)
{
    if (place == nullptr)
        return nullptr;
    *copy = place;
    return copy->c_str();
}

// From now on the device is missing and looked for; reasonShown says whether the reason a
// device could not be opened was printed already.
void hidStartLooking(bool reasonShown)
{
    g_missing = true;
    g_writeFailed = false;
    g_openFailing = false;
    g_reasonShown = reasonShown;
    hidAttend();
}

// A quiet search of hidRetry.
bool hidLookAgain(std::uint32_t now)
{
    HidSearch found = hidSearch(g_productId, g_index, false);
    if (found.handle != HID_NO_HANDLE) {
        hidKeep(found);
        hidPrintSearching(g_productId);
        outPrintf("initHID: Device found.\n");
        return true;
    }
    if (!found.openFailed) {
        g_openFailing = false;
        return false;
    }
    if (!g_openFailing) {
        g_openFailing = true;
        g_openFailingSince = now;
    } else if (!g_reasonShown &&
               static_cast<std::uint32_t>(now - g_openFailingSince) >= HID_OPEN_PATIENCE_MS) {
        outPrintf("initHID: Cannot open %s: %s\n", found.failPath.c_str(), found.failWhy.c_str());
        g_reasonShown = true;
    }
    return false;
}

} // namespace

LedReport hidBuildReport(bool led1, bool led2)
{
    LedReport report = {{0x00, 0x09, 0, 0, 0, 0, 0, 0}};
    if (led1)
        report.bytes[2] = 1;
    if (led2)
        report.bytes[2] = static_cast<unsigned char>(report.bytes[2] + 2);
    return report;
}

bool hidTakeMatch(std::int32_t *index)
{
    if (*index == 0)
        return true;
    // A negative index never counts down to 0, so it finds nothing.
    if (*index > 0)
        --*index;
    return false;
}

bool initHID(std::int32_t productId, std::int32_t index, const HidPlaces &places)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_device != HID_NO_HANDLE)
        return true;
    hidPrintSearching(productId);
    g_productId = productId;
    g_index = index;
    g_places.classDir = hidKeepPlace(places.classDir, &g_classDir);
    g_places.devDir = hidKeepPlace(places.devDir, &g_devDir);
    g_places.devicePath = hidKeepPlace(places.devicePath, &g_devicePath);
    HidSearch found = hidSearch(productId, index, true);
    if (found.handle != HID_NO_HANDLE) {
        outPrintf("initHID: Device found.\n");
        hidKeep(found);
        return true;
    }
    outPrintf("initHID: Device not found.\n");
    // A reason printed here is not printed again.
    hidStartLooking(found.openFailed);
    g_pace.started = false;
    return false;
}

bool hidSetLeds(bool led1, bool led2)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_device == HID_NO_HANDLE)
        return false;
    if (hidSysWrite(g_device, hidBuildReport(led1, led2)))
        return true;
    if (!g_writeFailed) {
        g_writeFailed = true;
        hidAttend();
    }
    return false;
}

bool closeHID()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_missing = false;
    g_writeFailed = false;
    hidAttend();
    if (g_device == HID_NO_HANDLE)
        return false;
    hidSysClose(g_device);
    g_device = HID_NO_HANDLE;
    g_path.clear();
    return true;
}

bool hidRetry(std::uint32_t now)
{
    if (!g_attention.load(std::memory_order_relaxed))
        return false;
    std::lock_guard<std::mutex> hold(g_lock);
    if (!paceDue(&g_pace, now, PACE_RETRY_MS))
        return false;
    if (g_device != HID_NO_HANDLE) {
        if (!g_writeFailed)
            return false;
        g_writeFailed = false;
        // A failed write alone says little (the error differs between systems and drivers):
        // the device is gone when its path no longer leads to it. A device given by its path
        // has nothing to be found again by.
        if (g_places.devicePath == nullptr &&
            !hidSysPresent(g_device, g_path, static_cast<std::uint16_t>(g_productId))) {
            hidSysClose(g_device);
            g_device = HID_NO_HANDLE;
            g_path.clear();
            outPrintf("initHID: Device lost, waiting for it to come back...\n");
            hidStartLooking(false);
        }
        hidAttend();
        return false;
    }
    if (!g_missing)
        return false;
    return hidLookAgain(now);
}
