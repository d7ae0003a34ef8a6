// LED devices made by the kernel's user-space HID driver, plugged and unplugged on command,
// with every event they receive logged with its time.
//
// Commands on standard input, one per line:
//   plug NAME PRODUCT   a USB HID device of vendor 046D and product PRODUCT (hexadecimal)
//   unplug NAME         removes it, as pulling the cable does
// Output, one line per event: "MS NAME EVENT [DATA]", MS the monotonic clock in milliseconds,
// EVENT one of plugged, unplugged, start, stop, open, close, output (DATA the report bytes in
// hexadecimal) or error (DATA the reason). End of input removes every device and ends.
#include <linux/uhid.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// One output report of 7 bytes, no report IDs: the report the program writes after its
// report number 0.
const unsigned char REPORT_DESCRIPTOR[] = {
    0x06, 0x00, 0xFF, // usage page: vendor defined
    0x09, 0x01,       // usage 1
    0xA1, 0x01,       // collection: application
    0x09, 0x02,       //   usage 2
    0x15, 0x00,       //   logical minimum 0
    0x26, 0xFF, 0x00, //   logical maximum 255
    0x75, 0x08,       //   report size: 8 bits
    0x95, 0x07,       //   report count: 7
    0x91, 0x02,       //   output: data, variable, absolute
    0xC0,             // end collection
};

const int MAX_DEVICES = 8;

struct Device {
    char name[32];
    int fd; // the /dev/uhid handle that is this device, or -1
};

Device g_devices[MAX_DEVICES];

double uhidNowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

void uhidLog(const char *name, const char *event, const char *data)
{
    std::printf("%.3f %s %s%s%s\n", uhidNowMs(), name, event, *data ? " " : "", data);
    std::fflush(stdout);
}

bool uhidWrite(int fd, const uhid_event &ev)
{
    return write(fd, &ev, sizeof ev) == static_cast<ssize_t>(sizeof ev);
}

Device *uhidFind(const char *name)
{
    for (Device &d : g_devices)
        if (d.fd >= 0 && std::strcmp(d.name, name) == 0)
            return &d;
    return nullptr;
}

void uhidPlug(const char *name, unsigned product)
{
    Device *slot = nullptr;
    for (Device &d : g_devices)
        if (d.fd < 0 && slot == nullptr)
            slot = &d;
    if (slot == nullptr || uhidFind(name) != nullptr) {
        uhidLog(name, "error", "no free slot or name in use");
        return;
    }
    int fd = open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        uhidLog(name, "error", std::strerror(errno));
        return;
    }
    uhid_event ev;
    std::memset(&ev, 0, sizeof ev);
    ev.type = UHID_CREATE2;
    std::snprintf(reinterpret_cast<char *>(ev.u.create2.name), sizeof ev.u.create2.name, "%s",
                  name);
    std::snprintf(reinterpret_cast<char *>(ev.u.create2.uniq), sizeof ev.u.create2.uniq, "%s",
                  name);
    ev.u.create2.rd_size = sizeof REPORT_DESCRIPTOR;
    std::memcpy(ev.u.create2.rd_data, REPORT_DESCRIPTOR, sizeof REPORT_DESCRIPTOR);
    ev.u.create2.bus = 0x03; // USB
    ev.u.create2.vendor = 0x046D;
    ev.u.create2.product = product;
    ev.u.create2.version = 0x0111;
    if (!uhidWrite(fd, ev)) {
        uhidLog(name, "error", std::strerror(errno));
        close(fd);
        return;
    }
    std::snprintf(slot->name, sizeof slot->name, "%s", name);
    slot->fd = fd;
    uhidLog(name, "plugged", "");
}

void uhidUnplug(const char *name)
{
    Device *d = uhidFind(name);
    if (d == nullptr) {
        uhidLog(name, "error", "no such device");
        return;
    }
    uhid_event ev;
    std::memset(&ev, 0, sizeof ev);
    ev.type = UHID_DESTROY;
    uhidWrite(d->fd, ev);
    close(d->fd);
    d->fd = -1;
    uhidLog(name, "unplugged", "");
}

// Logs one event of a device.
void uhidEvent(Device &d)
{
    uhid_event ev;
    if (read(d.fd, &ev, sizeof ev) <= 0)
        return;
    if (ev.type == UHID_OUTPUT) {
        char hex[2 * UHID_DATA_MAX + 1] = "";
        for (unsigned i = 0; i < ev.u.output.size && i < UHID_DATA_MAX; ++i)
            std::snprintf(hex + 2 * i, 3, "%02x", ev.u.output.data[i]);
        uhidLog(d.name, "output", hex);
        return;
    }
    // UHID_START to UHID_CLOSE, in the order of the kernel's numbers.
    static const char *const NAMES[] = {"start", "stop", "open", "close"};
    if (ev.type >= UHID_START && ev.type <= UHID_CLOSE)
        uhidLog(d.name, NAMES[ev.type - UHID_START], "");
}

// Carries out one command line; false at the end of input.
bool uhidCommand()
{
    char line[128];
    if (std::fgets(line, sizeof line, stdin) == nullptr)
        return false;
    char verb[16], name[32];
    unsigned product = 0;
    int fields = std::sscanf(line, "%15s %31s %x", verb, name, &product);
    if (fields == 3 && std::strcmp(verb, "plug") == 0)
        uhidPlug(name, product);
    else if (fields >= 2 && std::strcmp(verb, "unplug") == 0)
        uhidUnplug(name);
    else
        uhidLog("-", "error", "bad command");
    return true;
}

} // namespace

int main()
{
    for (Device &d : g_devices)
        d.fd = -1;
    // Commands come one line at a time from a pipe; stdio must not read ahead past a line
    // while devices wait to be polled.
    setvbuf(stdin, nullptr, _IONBF, 0);
    for (;;) {
        pollfd fds[MAX_DEVICES + 1];
        Device *owners[MAX_DEVICES + 1];
        nfds_t n = 0;
        fds[n] = {STDIN_FILENO, POLLIN, 0};
        owners[n++] = nullptr;
        for (Device &d : g_devices) {
            if (d.fd >= 0) {
                fds[n] = {d.fd, POLLIN, 0};
                owners[n++] = &d;
            }
        }
        if (poll(fds, n, -1) < 0 && errno != EINTR)
            return 1;
        for (nfds_t i = 1; i < n; ++i)
            if (fds[i].revents != 0)
                uhidEvent(*owners[i]);
        if (fds[0].revents != 0 && !uhidCommand())
            break;
    }
    for (Device &d : g_devices)
        if (d.fd >= 0)
            uhidUnplug(d.name);
    return 0;
}
