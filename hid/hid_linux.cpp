// The LED device on Linux: hidraw interfaces found through sysfs, reports written to /dev/hidrawN.
#include "hid/hid.h"
#include "hid/hid_linux.h"

#include "base/out.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const char DEFAULT_CLASS_DIR[] = "/sys/class/hidraw";
const char DEFAULT_DEV_DIR[] = "/dev";

// sysfs attribute files are at most one page long.
const std::size_t UEVENT_MAX = 4096;

std::string g_classDir = DEFAULT_CLASS_DIR;
std::string g_devDir = DEFAULT_DEV_DIR;

// The open device node, or -1.
int g_fd = -1;

// closeHID runs on the console-event thread while the main loop may be
// writing; every routine that touches g_fd holds this lock.
std::mutex g_lock;

// The number N of a "hidrawN" entry name, or -1 when the name is not one.
long hidrawNumber(const char *name)
{
    const char prefix[] = "hidraw";
    const std::size_t prefixLen = sizeof prefix - 1;
    if (std::strncmp(name, prefix, prefixLen) != 0)
        return -1;
    const char *digits = name + prefixLen;
    std::size_t count = std::strlen(digits);
    // Nine digits keep the number within a long everywhere.
    if (count == 0 || count > 9)
        return -1;
    long number = 0;
    for (const char *p = digits; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9')
            return -1;
        number = number * 10 + (*p - '0');
    }
    return number;
}

// The hidraw entry names of the class folder in numeric order; empty when
// the folder is missing.
std::vector<std::string> hidListInterfaces()
{
    std::vector<std::pair<long, std::string>> found;
    DIR *dir = opendir(g_classDir.c_str());
    if (dir == nullptr)
        return {};
    while (const dirent *entry = readdir(dir)) {
        long number = hidrawNumber(entry->d_name);
        if (number >= 0)
            found.emplace_back(number, entry->d_name);
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto &item : found)
        names.push_back(std::move(item.second));
    return names;
}

// Reads vendor and product of a hidraw entry from its parent's uevent file.
bool hidReadAttributes(const std::string &name, std::uint32_t *vendor, std::uint32_t *product)
{
    std::string path = g_classDir + "/" + name + "/device/uevent";
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[UEVENT_MAX];
    std::size_t len = 0;
    bool ok = true;
    while (len < sizeof text) {
        ssize_t n = read(fd, text + len, sizeof text - len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        len += static_cast<std::size_t>(n);
    }
    close(fd);
    return ok && hidParseUevent(text, len, vendor, product);
}

// Opens a device node for reading and writing; names the node and the
// reason when that fails.
int hidOpenNode(const std::string &name)
{
    std::string path = g_devDir + "/" + name;
    int fd;
    do {
        fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        outPrintf("initHID: Cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return fd;
}

} // namespace

void hidSetPaths(const char *classDir, const char *devDir)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_classDir = classDir != nullptr ? classDir : DEFAULT_CLASS_DIR;
    g_devDir = devDir != nullptr ? devDir : DEFAULT_DEV_DIR;
}

bool initHID(std::int32_t productId, std::int32_t index)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_fd >= 0)
        return true;
    outPrintf("initHID: Initializing HID (Device ID 0x%04X)...", static_cast<unsigned>(productId));
    outPrintf("HID GUID: %X\n", static_cast<unsigned>(HID_GUID_DATA1));

    // A product ID outside 16 bits names no USB device.
    bool validId = productId >= 0 && productId <= 0xFFFF;
    for (const std::string &name : hidListInterfaces()) {
        std::uint32_t vendor = 0, product = 0;
        // Only candidates that match are opened: the others may well be
        // devices this user has no permission for.
        if (!validId || !hidReadAttributes(name, &vendor, &product))
            continue;
        if (vendor != HID_VENDOR_ID || product != static_cast<std::uint32_t>(productId))
            continue;
        int fd = hidOpenNode(name);
        if (fd < 0)
            continue;
        if (hidTakeMatch(&index)) {
            outPrintf("initHID: Device found.\n");
            g_fd = fd;
            return true;
        }
        close(fd);
    }
    outPrintf("initHID: Device not found.\n");
    return false;
}

bool hidSetLeds(bool led1, bool led2)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_fd < 0)
        return false;
    LedReport report = hidBuildReport(led1, led2);
    ssize_t n;
    do {
        n = write(g_fd, report.bytes, sizeof report.bytes);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof report.bytes);
}

bool closeHID()
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_fd < 0)
        return false;
    close(g_fd);
    g_fd = -1;
    return true;
}
