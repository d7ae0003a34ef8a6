// A stand-in hidraw tree for tests: sysfs entries and device nodes as the kernel lays them out.
#pragma once

#include <cstdint>
#include <string>

#include "hid/hid.h"

// What the device node /dev/hidrawN is.
enum HidrawNode {
    HIDRAW_NODE_FIFO,      // a FIFO: opens read-write without a peer, reports are read back from it
    HIDRAW_NODE_FILE,      // a regular file: reports pile up in it
    HIDRAW_NODE_MISSING,   // no node at all: open fails with ENOENT
    HIDRAW_NODE_DIRECTORY, // a directory: open for writing fails with EISDIR, even as root
    HIDRAW_NODE_NO_ACCESS, // a FIFO with mode 000: open fails unless the caller is root
    HIDRAW_NODE_FULL,      // a symlink to /dev/full: opens, every write fails with ENOSPC
};

// A tree under a temporary folder: <root>/sys and <root>/dev.
struct HidrawTree {
    std::string root;
    std::string classDir; // <root>/sys/class/hidraw
    std::string devDir;   // <root>/dev
};

// Lays out hidraw device n under sysRoot (playing /sys) and devRoot (playing
// /dev): the HID device folder with a uevent carrying bus, vendor and product,
// its hidraw/hidrawN child with a "device" link back, the class link
// <sysRoot>/class/hidraw/hidrawN and the node <devRoot>/hidrawN. When
// parentUevent is not empty it replaces the generated uevent text. False when
// anything could not be created.
bool hidrawLayoutDevice(const std::string &sysRoot, const std::string &devRoot, unsigned n,
                        std::uint16_t bus, std::uint32_t vendor, std::uint32_t product,
                        HidrawNode node, const std::string &parentUevent = "");

// The uevent text the kernel gives a HID device with these IDs.
std::string hidrawUeventText(std::uint16_t bus, std::uint32_t vendor, std::uint32_t product);

// A new tree with an empty class folder and an empty dev folder.
HidrawTree hidrawTreeCreate(const std::string &tag);

// The tree as the places where the device is looked for (they point into tree).
HidPlaces hidrawTreePlaces(const HidrawTree &tree);

// Removes the whole tree.
void hidrawTreeRemove(HidrawTree &tree);

// Adds device n to the tree; see hidrawLayoutDevice.
bool hidrawTreeAddDevice(HidrawTree &tree, unsigned n, std::uint16_t bus, std::uint32_t vendor,
                         std::uint32_t product, HidrawNode node,
                         const std::string &parentUevent = "");

std::string hidrawTreeSysDir(const HidrawTree &tree);   // <root>/sys
std::string hidrawTreeClassDir(const HidrawTree &tree); // <root>/sys/class/hidraw
std::string hidrawTreeDevDir(const HidrawTree &tree);   // <root>/dev

// <root>/dev/hidrawN.
std::string hidrawTreeNodePath(const HidrawTree &tree, unsigned n);

// Enters a private mount namespace with empty /sys and /dev of its own (null, zero and
// urandom only), where hidrawLayoutDevice("/sys", "/dev", ...) puts stand-in devices in
// the kernel's places. Needs root; call before any thread exists. False with the reason.
bool hidrawEnterNamespace(std::string *why);
