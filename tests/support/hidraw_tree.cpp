// A stand-in hidraw tree: sysfs folders, links and uevent files of hidraw devices, and nodes.
#include "support/hidraw_tree.h"

#include "support/test_support.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string hexText(const char *format, unsigned value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

bool makeNode(const fs::path &path, HidrawNode node)
{
    std::error_code ec;
    switch (node) {
    case HIDRAW_NODE_FIFO:
        return mkfifo(path.c_str(), 0660) == 0;
    case HIDRAW_NODE_FILE:
        return testWriteFile(path.string(), "");
    case HIDRAW_NODE_MISSING:
        return true;
    case HIDRAW_NODE_DIRECTORY:
        return fs::create_directory(path, ec);
    case HIDRAW_NODE_NO_ACCESS:
        return mkfifo(path.c_str(), 0) == 0 && chmod(path.c_str(), 0) == 0;
    case HIDRAW_NODE_FULL:
        fs::create_symlink("/dev/full", path, ec);
        return !ec;
    }
    return false;
}

} // namespace

std::string hidrawUeventText(std::uint16_t bus, std::uint32_t vendor, std::uint32_t product)
{
    return "DRIVER=hid-generic\n"
           "HID_ID=" +
           hexText("%04X", bus) + ":" + hexText("%08X", vendor) + ":" + hexText("%08X", product) +
           "\n"
           "HID_NAME=Test Device " +
           hexText("%04X", product) +
           "\n"
           "HID_PHYS=usb-0000:00:14.0-2/input0\n"
           "HID_UNIQ=\n"
           "MODALIAS=hid:b" +
           hexText("%04X", bus) + "g0001v" + hexText("%08X", vendor) + "p" +
           hexText("%08X", product) + "\n";
}

bool hidrawLayoutDevice(const std::string &sysRoot, const std::string &devRoot, unsigned n,
                        std::uint16_t bus, std::uint32_t vendor, std::uint32_t product,
                        HidrawNode node, const std::string &parentUevent)
{
    // One USB device per hidraw number, on port n+1 of the first root hub;
    // the kernel names the HID device BBBB:VVVV:PPPP.IIII.
    std::string port = "1-" + std::to_string(n + 1);
    std::string hidName = hexText("%04X", bus) + ":" + hexText("%04X", vendor & 0xFFFFu) + ":" +
                          hexText("%04X", product & 0xFFFFu) + "." + hexText("%04X", n + 1);
    std::string raw = "hidraw" + std::to_string(n);
    fs::path devicesRel =
        fs::path("devices/pci0000:00/0000:00:14.0/usb1") / port / (port + ":1.0") / hidName;
    fs::path hidDir = fs::path(sysRoot) / devicesRel;
    fs::path rawDir = hidDir / "hidraw" / raw;
    fs::path classDir = fs::path(sysRoot) / "class" / "hidraw";

    std::error_code ec;
    fs::create_directories(rawDir, ec);
    if (ec)
        return false;
    fs::create_directories(classDir, ec);
    if (ec)
        return false;
    fs::create_directories(devRoot, ec);
    if (ec)
        return false;

    std::string uevent =
        parentUevent.empty() ? hidrawUeventText(bus, vendor, product) : parentUevent;
    if (!testWriteFile((hidDir / "uevent").string(), uevent))
        return false;
    if (!testWriteFile((rawDir / "uevent").string(),
                       "MAJOR=241\nMINOR=" + std::to_string(n) + "\nDEVNAME=" + raw + "\n"))
        return false;
    fs::create_symlink(fs::path("../../../") / hidName, rawDir / "device", ec);
    if (ec)
        return false;
    fs::create_symlink(fs::path("../..") / devicesRel / "hidraw" / raw, classDir / raw, ec);
    if (ec)
        return false;
    return makeNode(fs::path(devRoot) / raw, node);
}

HidrawTree hidrawTreeCreate(const std::string &tag)
{
    HidrawTree tree;
    tree.root = testTempDir(tag);
    tree.classDir = tree.root + "/sys/class/hidraw";
    tree.devDir = tree.root + "/dev";
    std::error_code ec;
    fs::create_directories(tree.classDir, ec);
    fs::create_directories(tree.devDir, ec);
    return tree;
}

HidPlaces hidrawTreePlaces(const HidrawTree &tree)
{
    return HidPlaces{tree.classDir.c_str(), tree.devDir.c_str(), nullptr};
}

void hidrawTreeRemove(HidrawTree &tree)
{
    if (tree.root.empty())
        return;
    std::error_code ec;
    fs::remove_all(tree.root, ec);
    tree.root.clear();
}

bool hidrawTreeAddDevice(HidrawTree &tree, unsigned n, std::uint16_t bus, std::uint32_t vendor,
                         std::uint32_t product, HidrawNode node, const std::string &parentUevent)
{
    return hidrawLayoutDevice(hidrawTreeSysDir(tree), hidrawTreeDevDir(tree), n, bus, vendor,
                              product, node, parentUevent);
}

std::string hidrawTreeSysDir(const HidrawTree &tree)
{
    return tree.root + "/sys";
}

std::string hidrawTreeClassDir(const HidrawTree &tree)
{
    return tree.classDir;
}

std::string hidrawTreeDevDir(const HidrawTree &tree)
{
    return tree.devDir;
}

std::string hidrawTreeNodePath(const HidrawTree &tree, unsigned n)
{
    return hidrawTreeDevDir(tree) + "/hidraw" + std::to_string(n);
}

bool hidrawEnterNamespace(std::string *why)
{
    if (unshare(CLONE_NEWNS) != 0) {
        *why = std::string("cannot make a mount namespace: ") + std::strerror(errno);
        return false;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("lvsys", "/sys", "tmpfs", 0, "mode=0755") != 0 ||
        mount("lvdev", "/dev", "tmpfs", 0, "mode=0755") != 0) {
        *why = std::string("cannot mount in the namespace: ") + std::strerror(errno);
        return false;
    }
    mkdir("/sys/class", 0755);
    mkdir("/sys/class/hidraw", 0755);
    mknod("/dev/null", S_IFCHR | 0666, makedev(1, 3));
    mknod("/dev/zero", S_IFCHR | 0666, makedev(1, 5));
    mknod("/dev/urandom", S_IFCHR | 0666, makedev(1, 9));
    return true;
}
