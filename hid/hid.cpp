// The portable part of the LED device: the search, the report, closing, and finding the device
// again; the backends only enumerate, open, write and close.
#include "hid/hid_backend.h"

#include "base/out.h"
#include "base/pace.h"
#include "base/usb.h"

#include <atomic>
#include <mutex>

namespace {

// How long a device that is there but cannot be opened (no rights yet, say) is tried quietly
// before the reason is shown.
constexpr std::uint32_t HID_OPEN_PATIENCE_MS = 5000;

// closeHID also runs on the console-event thread while the main loop may be writing or
// searching: every routine that touches the state below holds this lock.
std::mutex g_lock;

// Where the device stands. Each state is entered by one routine below, which says what it means
// and how it is left.
enum HidStateKind {
    HID_CLOSED,       // never looked for, or closed by closeHID: nothing to do
    HID_OPEN,         // open, and its writes succeed
    HID_WRITE_FAILED, // open, and a write failed: hidRetry asks whether it is still there
    HID_MISSING,      // none found, or it went away: hidRetry looks for it
    HID_OPEN_FAILING, // found but failing to open since `since`: hidRetry tries it again
};

struct HidState {
    HidStateKind kind;
    HidHandle handle;    // HID_OPEN, HID_WRITE_FAILED: the open device
    std::string path;    // and its path
    std::uint32_t since; // HID_OPEN_FAILING: the tick of the first failed open
    bool reasonShown;    // HID_MISSING, HID_OPEN_FAILING: why it cannot be opened was printed
};

HidState g_state = {HID_CLOSED, HID_NO_HANDLE, std::string(), 0, false};

// Whether g_state has anything for hidRetry to do. Read without the lock on every pass, so that
// a pass with the device open and working costs one load; hidBecome alone writes it.
std::atomic<bool> g_attention{false};

Pace g_pace = {false, 0};

// What initHID was asked for, which hidRetry looks for again, and where.
std::int32_t g_productId = 0;
std::int32_t g_index = 0;
std::string g_classDir, g_devDir, g_devicePath;
HidPlaces g_places = HID_SYSTEM_PLACES;

void hidBecome(HidStateKind kind)
{
    g_state.kind = kind;
    g_attention.store(kind != HID_CLOSED && kind != HID_OPEN, std::memory_order_relaxed);
}

bool hidHoldsDevice()
{
    return g_state.kind == HID_OPEN || g_state.kind == HID_WRITE_FAILED;
}

// Open: writes go to the device. Left by a failed write, and by closeHID.
void hidEnterOpen(HidHandle handle, const std::string &path)
{
    g_state.handle = handle;
    g_state.path = path;
    g_state.reasonShown = false;
    hidBecome(HID_OPEN);
}

// A write failed: writes still go to the device until hidRetry has asked whether it is there,
// which leads back to open, or to missing.
void hidEnterWriteFailed()
{
    hidBecome(HID_WRITE_FAILED);
}

// Missing: looked for once a second until found (open), found but not openable (failing to
// open), or closeHID. reasonShown says whether the reason a device could not be opened was
// printed already; it survives searches that find nothing.
void hidEnterMissing(bool reasonShown)
{
    g_state.reasonShown = reasonShown;
    hidBecome(HID_MISSING);
}

// The open device is gone: its handle is let go, and it is looked for.
void hidEnterLost()
{
    hidSysClose(g_state.handle);
    g_state.handle = HID_NO_HANDLE;
    g_state.path.clear();
    outPrintf("initHID: Device lost, waiting for it to come back...\n");
    hidEnterMissing(false);
}

// Failing to open since now: tried again once a second, as a missing device is looked for.
void hidEnterOpenFailing(std::uint32_t now)
{
    g_state.since = now;
    hidBecome(HID_OPEN_FAILING);
}

// Closed: nothing is open and nothing looked for, until initHID.
void hidEnterClosed()
{
    if (hidHoldsDevice())
        hidSysClose(g_state.handle);
    g_state.handle = HID_NO_HANDLE;
    g_state.path.clear();
    hidBecome(HID_CLOSED);
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

// hidRetry with a device open after a failed write: it stays when its path still leads to it.
// A failed write alone says little (the error differs between systems and drivers). A device
// given by its path has nothing to be found again by.
void hidAskStillThere()
{
    if (g_places.devicePath == nullptr &&
        !hidSysPresent(g_state.handle, g_state.path, static_cast<std::uint16_t>(g_productId)))
        hidEnterLost();
    else
        hidBecome(HID_OPEN);
}

// hidRetry's quiet search while the device is missing or failing to open; true when it opened.
bool hidLookAgain(std::uint32_t now)
{
    HidSearch found = hidSearch(g_productId, g_index, false);
    if (found.handle != HID_NO_HANDLE) {
        hidEnterOpen(found.handle, found.path);
        hidPrintSearching(g_productId);
        outPrintf("initHID: Device found.\n");
        return true;
    }
    if (!found.openFailed)
        hidEnterMissing(g_state.reasonShown);
    else if (g_state.kind != HID_OPEN_FAILING)
        hidEnterOpenFailing(now);
    else if (!g_state.reasonShown &&
             static_cast<std::uint32_t>(now - g_state.since) >= HID_OPEN_PATIENCE_MS) {
        outPrintf("initHID: Cannot open %s: %s\n", found.failPath.c_str(), found.failWhy.c_str());
        g_state.reasonShown = true;
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
    if (hidHoldsDevice())
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
        hidEnterOpen(found.handle, found.path);
        return true;
    }
    outPrintf("initHID: Device not found.\n");
    // A reason printed here is not printed again.
    hidEnterMissing(found.openFailed);
    g_pace.started = false;
    return false;
}

bool hidSetLeds(bool led1, bool led2)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (!hidHoldsDevice())
        return false;
    if (hidSysWrite(g_state.handle, hidBuildReport(led1, led2)))
        return true;
    hidEnterWriteFailed();
    return false;
}

bool closeHID()
{
    std::lock_guard<std::mutex> hold(g_lock);
    const bool wasOpen = hidHoldsDevice();
    hidEnterClosed();
    return wasOpen;
}

bool hidRetry(std::uint32_t now)
{
    if (!g_attention.load(std::memory_order_relaxed))
        return false;
    std::lock_guard<std::mutex> hold(g_lock);
    if (!paceDue(&g_pace, now, PACE_RETRY_MS))
        return false;
    switch (g_state.kind) {
    case HID_WRITE_FAILED:
        hidAskStillThere();
        return false;
    case HID_MISSING:
    case HID_OPEN_FAILING:
        return hidLookAgain(now);
    case HID_CLOSED:
    case HID_OPEN:
        break;
    }
    return false;
}
