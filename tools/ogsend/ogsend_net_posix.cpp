// The datagram sender's sockets on POSIX.
#include "tools/ogsend/ogsend_net.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool sendNetStart() { return true; }

bool sendResolve(const std::string &host, long port, SendTarget *target)
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    std::string service = std::to_string(port);
    int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0 || found == nullptr) {
        std::fprintf(stderr, "ogsend: cannot resolve '%s': %s\n", host.c_str(),
                     gai_strerror(rc));
        return false;
    }
    static_assert(sizeof(sockaddr_in) <= sizeof target->addr, "SendTarget too small");
    std::memcpy(target->addr, found->ai_addr, sizeof(sockaddr_in));
    target->addrLen = static_cast<int>(sizeof(sockaddr_in));
    freeaddrinfo(found);
    return true;
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
    ssize_t n = sendto(static_cast<int>(fd), data, len, 0,
                       reinterpret_cast<const sockaddr *>(target.addr),
                       static_cast<socklen_t>(target.addrLen));
    if (n < 0 || static_cast<std::size_t>(n) != len) {
        std::fprintf(stderr, "ogsend: send failed: %s\n",
                     n < 0 ? std::strerror(errno) : "short write");
        return false;
    }
    return true;
}

void sendClose(SendSocket fd) { close(static_cast<int>(fd)); }
