// The LED device on Windows: SetupAPI discovery of HID interfaces, reports by WriteFile.
#include "hid/hid_backend.h"

#include <cstdlib>

#include <windows.h>
#include <setupapi.h>
// The MinGW-w64 HID header has no C++ linkage block of its own.
extern "C" {
#include <hidsdi.h>
}

namespace {

HANDLE hidHandleOf(HidHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// The device path of one interface; empty when it cannot be had.
std::string hidPathOf(HDEVINFO set, SP_DEVICE_INTERFACE_DATA *iface)
{
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, iface, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return std::string();
    auto detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(std::malloc(size));
    if (detail == nullptr)
        return std::string();
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    std::string path;
    if (SetupDiGetDeviceInterfaceDetailA(set, iface, detail, size, nullptr, nullptr))
        path = detail->DevicePath;
    std::free(detail);
    return path;
}

// Opens a device path for reading and writing, shared, synchronous.
HANDLE hidOpenCandidate(const char *path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

// Whether the opened device is the vendor's with productId.
bool hidMatches(HANDLE handle, std::uint16_t productId)
{
    HIDD_ATTRIBUTES attributes;
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(handle, &attributes))
        return false;
    return attributes.VendorID == HID_VENDOR_ID && attributes.ProductID == productId;
}

// The system's text for an error code, without its line end.
std::string hidErrorText(DWORD error)
{
    char text[256];
    DWORD len = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               error, 0, text, sizeof text, nullptr);
    while (len > 0 && (text[len - 1] == '\n' || text[len - 1] == '\r' || text[len - 1] == ' '))
        --len;
    if (len == 0)
        return "error " + std::to_string(error);
    return std::string(text, len);
}

} // namespace

// The vendor and product of an interface can only be read through a handle: each one is opened
// as the device itself is, and one that cannot be opened is no match.
std::vector<std::string> hidSysEnumerate(const HidPlaces &, std::uint16_t productId)
{
    std::vector<std::string> paths;
    GUID guid;
    HidD_GetHidGuid(&guid);
    HDEVINFO set =
        SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return paths;
    for (DWORD number = 0;; ++number) {
        SP_DEVICE_INTERFACE_DATA iface;
        iface.cbSize = sizeof iface;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, number, &iface))
            break;
        std::string path = hidPathOf(set, &iface);
        if (path.empty())
            continue;
        HANDLE handle = hidOpenCandidate(path.c_str());
        if (handle == INVALID_HANDLE_VALUE)
            continue;
        if (hidMatches(handle, productId))
            paths.push_back(path);
        CloseHandle(handle);
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

HidHandle hidSysOpen(const std::string &path, std::string *reason)
{
    HANDLE handle = hidOpenCandidate(path.c_str());
    if (handle == INVALID_HANDLE_VALUE) {
        *reason = hidErrorText(GetLastError());
        return HID_NO_HANDLE;
    }
    return reinterpret_cast<HidHandle>(handle);
}

bool hidSysWrite(HidHandle handle, const LedReport &report)
{
    DWORD written = 0;
    if (!WriteFile(hidHandleOf(handle), report.bytes, sizeof report.bytes, &written, nullptr))
        return false;
    return written == sizeof report.bytes;
}

// A removed device's handle answers with one error or another (Wine: access denied; Windows:
// not connected, or a general failure), so the error says nothing for sure. The device is gone
// when its handle no longer reads the attributes or its path is no longer among the present
// devices.
bool hidSysPresent(HidHandle handle, const std::string &path, std::uint16_t productId)
{
    if (!hidMatches(hidHandleOf(handle), productId))
        return false;
    for (const std::string &present : hidSysEnumerate(HID_SYSTEM_PLACES, productId)) {
        if (lstrcmpiA(present.c_str(), path.c_str()) == 0)
            return true;
    }
    return false;
}

void hidSysClose(HidHandle handle)
{
    CloseHandle(hidHandleOf(handle));
}

std::uint32_t hidSysGuidData1()
{
    GUID guid;
    HidD_GetHidGuid(&guid);
    return static_cast<std::uint32_t>(guid.Data1);
}
