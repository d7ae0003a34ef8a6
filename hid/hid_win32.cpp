// The LED device on Windows: SetupAPI discovery of HID interfaces, reports by WriteFile.
#include "hid/hid.h"
#include "hid/hid_win32.h"

#include "base/out.h"

#include <cstdlib>
#include <mutex>

#include <windows.h>
#include <setupapi.h>
// The MinGW-w64 HID header has no C++ linkage block of its own.
extern "C" {
#include <hidsdi.h>
}

namespace {

// closeHID also runs on the console handler's thread: every routine holds the lock.
std::mutex g_lock;
HANDLE g_device = INVALID_HANDLE_VALUE;

// The detail record (with the device path) of one interface, from malloc;
// NULL when it cannot be had.
PSP_DEVICE_INTERFACE_DETAIL_DATA_A hidGetDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA *iface)
{
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, iface, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return nullptr;
    auto detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(std::malloc(size));
    if (detail == nullptr)
        return nullptr;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, iface, detail, size, nullptr, nullptr)) {
        std::free(detail);
        return nullptr;
    }
    return detail;
}

// Opens a device path for reading and writing, shared, synchronous.
HANDLE hidOpenCandidate(const char *path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

// Whether the opened candidate is the vendor's device with productId.
bool hidMatches(HANDLE handle, std::int32_t productId)
{
    HIDD_ATTRIBUTES attributes;
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(handle, &attributes))
        return false;
    return attributes.VendorID == HID_VENDOR_ID &&
           static_cast<std::int32_t>(attributes.ProductID) == productId;
}

} // namespace

bool initHID(std::int32_t productId, std::int32_t index)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_device != INVALID_HANDLE_VALUE)
        return true;

    outPrintf("initHID: Initializing HID (Device ID 0x%04X)...", static_cast<unsigned>(productId));
    GUID guid;
    HidD_GetHidGuid(&guid);
    outPrintf("HID GUID: %X\n", static_cast<unsigned>(guid.Data1));

    HDEVINFO set =
        SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    bool found = false;
    if (set != INVALID_HANDLE_VALUE) {
        for (DWORD number = 0;; ++number) {
            SP_DEVICE_INTERFACE_DATA iface;
            iface.cbSize = sizeof iface;
            if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, number, &iface))
                break;

            PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail = hidGetDetail(set, &iface);
            if (detail == nullptr)
                continue;
            // The path is needed only to open the candidate: the handle is all that is kept.
            HANDLE handle = hidOpenCandidate(detail->DevicePath);
            std::free(detail);
            bool match = handle != INVALID_HANDLE_VALUE && hidMatches(handle, productId);
            if (match && hidTakeMatch(&index)) {
                g_device = handle;
                found = true;
                break;
            }
            if (handle != INVALID_HANDLE_VALUE)
                CloseHandle(handle);
        }
        SetupDiDestroyDeviceInfoList(set);
    }

    if (found)
        outPrintf("initHID: Device found.\n");
    else
        outPrintf("initHID: Device not found.\n");
    return found;
}

bool hidOpenPath(const char *path)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_device != INVALID_HANDLE_VALUE)
        return false;
    HANDLE handle = hidOpenCandidate(path);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    g_device = handle;
    return true;
}

bool hidSetLeds(bool led1, bool led2)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_device == INVALID_HANDLE_VALUE)
        return false;
    LedReport report = hidBuildReport(led1, led2);
    DWORD written = 0;
    if (!WriteFile(g_device, report.bytes, sizeof report.bytes, &written, nullptr))
        return false;
    return written == sizeof report.bytes;
}

bool closeHID()
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_device == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(g_device);
    g_device = INVALID_HANDLE_VALUE;
    return true;
}
