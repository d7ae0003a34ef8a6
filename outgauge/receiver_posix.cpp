// The OutGauge receiver on POSIX: a non-blocking IPv4 UDP socket drained once per loop pass.
#include "outgauge/receiver.h"

#include "base/out.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The socket, or -1 while closed. The lock serialises ogInit, ogRead and
// ogClose: ogClose also runs on the console-event thread while the main loop
// may be inside ogRead, and the descriptor must not be closed (and perhaps
// reused by another open) under a recv in progress.
int g_socket = -1;
std::mutex g_lock;

} // namespace

bool ogInit(std::int32_t port)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_socket >= 0)
        return true;

    outPrintf("ogInit: Initializing OutGauge, port %d...\n", static_cast<int>(port));

    // Non-blocking from the start, so there is no separate step that could fail.
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        outPrintf("ogInit: Socket creation failed\n");
        return false;
    }

    // No SO_REUSEADDR: a port held by another program must make the bind fail.
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<std::uint16_t>(port & 0xFFFF));
    if (bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
        outPrintf("ogInit: Socket bind failed\n");
        close(fd);
        return false;
    }

    g_socket = fd;
    return true;
}

bool ogRead(OutGaugePacket &packet)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_socket < 0)
        return false;

    ogPacketSetId(packet, -1);
    bool accepted = false;
    unsigned char buf[OG_PACKET_SIZE];

    // Every recv counts toward the bound, errors included, so that a sender
    // flooding the port cannot keep the main loop here.
    for (int i = 0; i < OG_DRAIN_LIMIT; ++i) {
        // With MSG_TRUNC the result is the datagram's true length even when only the
        // first 96 bytes fit, so an empty datagram is told from a longer one (which the
        // record takes by its first 96 bytes).
        ssize_t n = recv(g_socket, buf, sizeof buf, MSG_TRUNC | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // Another error (EINTR, or an ICMP error such as ECONNREFUSED reported on the
        // socket) took nothing off the queue that is worth keeping; go on.
        if (ogPacketAccept(packet, buf, static_cast<long>(n)))
            accepted = true;
    }
    return accepted;
}

void ogClose()
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_socket < 0)
        return;
    outPrintf("ogClose: Closing OutGauge...\n");
    close(g_socket);
    g_socket = -1;
}
