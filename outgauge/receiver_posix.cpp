// The OutGauge receiver's socket on POSIX: a non-blocking IPv4 UDP socket.
#include "outgauge/receiver_backend.h"

#include "outgauge/address.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

bool ogSysOpen(std::uint16_t port, OgSocket *out, OgOpenFailure *why)
{
    // Non-blocking from the start, so there is no separate step that could fail.
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *why = OG_FAIL_SOCKET;
        return false;
    }
    // No SO_REUSEADDR: a port held by another program must make the bind fail.
    const sockaddr_in addr = ogAnyAddress(port);
    if (bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
        *why = errno == EADDRINUSE ? OG_FAIL_BUSY : OG_FAIL_BIND;
        close(fd);
        return false;
    }
    *out = OgSocket{fd, nullptr};
    return true;
}

long ogSysReceive(const OgSocket &socket, void *buf, std::size_t size)
{
    // With MSG_TRUNC the result is the datagram's true length even when only the first bytes
    // fit, so an empty datagram is told from a longer one.
    ssize_t n = recv(static_cast<int>(socket.handle), buf, size, MSG_TRUNC | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return OG_SYS_EMPTY;
    // Another error (EINTR, or an ICMP error such as ECONNREFUSED reported on the socket) took
    // nothing off the queue that is worth keeping.
    return n < 0 ? -1 : static_cast<long>(n);
}

void ogSysClose(const OgSocket &socket)
{
    close(static_cast<int>(socket.handle));
}
