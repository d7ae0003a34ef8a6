// The LED device on Linux: hidraw interfaces found through sysfs, reports written to /dev/hidrawN.
#include "hid/hid_backend.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const char DEFAULT_CLASS_DIR[] = "/sys/class/hidraw";
const char DEFAULT_DEV_DIR[] = "/dev";

// sysfs attribute files are at most one page long.
const std::size_t UEVENT_MAX = 4096;

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
std::vector<std::string> hidListInterfaces(const char *classDir)
{
    std::vector<std::pair<long, std::string>> found;
    DIR *dir = opendir(classDir);
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
bool hidReadAttributes(const char *classDir, const std::string &name, std::uint32_t *vendor,
                       std::uint32_t *product)
{
    std::string path = std::string(classDir) + "/" + name + "/device/uevent";
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

} // namespace

// Only the uevent files are read: the devices of other products are never opened, as they may
// well be devices this user has no permission for.
std::vector<std::string> hidSysEnumerate(const HidPlaces &places, std::uint16_t productId)
{
    const char *classDir = places.classDir != nullptr ? places.classDir : DEFAULT_CLASS_DIR;
    const char *devDir = places.devDir != nullptr ? places.devDir : DEFAULT_DEV_DIR;
    std::vector<std::string> paths;
    for (const std::string &name : hidListInterfaces(classDir)) {
        std::uint32_t vendor = 0, product = 0;
        if (hidReadAttributes(classDir, name, &vendor, &product) && vendor == HID_VENDOR_ID &&
            product == productId)
            paths.push_back(std::string(devDir) + "/" + name);
    }
    return paths;
}

HidHandle hidSysOpen(const std::string &path, std::string *reason)
{
    int fd;
    do {
        fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return HID_NO_HANDLE;
    }
    return fd;
}

bool hidSysWrite(HidHandle handle, const LedReport &report)
{
    ssize_t n;
    do {
        n = write(static_cast<int>(handle), report.bytes, sizeof report.bytes);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof report.bytes);
}

// An unplugged device's node is removed; a device plugged in again may get the same name, but
// never the same node: the path still leads to the device when it names the very file that
// the descriptor was opened from.
bool hidSysPresent(HidHandle handle, const std::string &path, std::uint16_t)
{
    struct stat held, named;
    if (fstat(static_cast<int>(handle), &held) != 0 || stat(path.c_str(), &named) != 0)
        return false;
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino &&
           held.st_rdev == named.st_rdev;
}

void hidSysClose(HidHandle handle)
{
    close(static_cast<int>(handle));
}

std::uint32_t hidSysGuidData1()
{
    return HID_GUID_DATA1;
}
