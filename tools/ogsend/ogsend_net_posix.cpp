// The datagram sender's sockets on POSIX.
#include "tools/ogsend/ogsend_net.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool sendNetStart()
{
    return true;
}

void sendNetStop() {}

std::string sendResolveError(int rc)
{
    return gai_strerror(rc);
}

SendSocket sendOpen()
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::fprintf(stderr, "ogsend: cannot create socket: %s\n", std::strerror(errno));
        return SEND_NO_SOCKET;
    }
    return fd;
}

bool sendDatagram(SendSocket fd, const SendTarget &target, const unsigned char *data,
                  std::size_t len)
{
    ssize_t n =
        sendto(static_cast<int>(fd), data, len, 0, reinterpret_cast<const sockaddr *>(target.addr),
               static_cast<socklen_t>(target.addrLen));
    if (n < 0 || static_cast<std::size_t>(n) != len) {
        std::fprintf(stderr, "ogsend: send failed: %s\n",
                     n < 0 ? std::strerror(errno) : "short write");
        return false;
    }
    return true;
}

void sendClose(SendSocket fd)
{
    close(static_cast<int>(fd));
}
