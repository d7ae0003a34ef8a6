// A stand-in hidraw tree: sysfs folders, links and uevent files of hidraw devices, and nodes.
#include "support/hidraw_tree.h"

#include "support/test_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string hexText(const char *format, unsigned value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

bool writeText(const fs::path &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

bool makeNode(const fs::path &path, HidrawNode node)
{
    std::error_code ec;
    switch (node) {
    case HIDRAW_NODE_FIFO:
        return mkfifo(path.c_str(), 0660) == 0;
    case HIDRAW_NODE_FILE:
        return writeText(path, "");
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
    if (!writeText(hidDir / "uevent", uevent))
        return false;
    if (!writeText(rawDir / "uevent", "MAJOR=241\nMINOR=" + std::to_string(n) +
                                          "\nDEVNAME=" + raw + "\n"))
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
    HidrawTree tree{testTempDir(tag)};
    std::error_code ec;
    fs::create_directories(hidrawTreeClassDir(tree), ec);
    fs::create_directories(hidrawTreeDevDir(tree), ec);
    return tree;
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

std::string hidrawTreeSysDir(const HidrawTree &tree) { return tree.root + "/sys"; }

std::string hidrawTreeClassDir(const HidrawTree &tree) { return tree.root + "/sys/class/hidraw"; }

std::string hidrawTreeDevDir(const HidrawTree &tree) { return tree.root + "/dev"; }

std::string hidrawTreeNodePath(const HidrawTree &tree, unsigned n)
{
    return hidrawTreeDevDir(tree) + "/hidraw" + std::to_string(n);
}
