// The datagram sender's name resolution: getaddrinfo, the same on both platforms.
#include "tools/ogsend/ogsend_net.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

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
                     sendResolveError(rc).c_str());
        return false;
    }
    static_assert(sizeof(sockaddr_in) <= sizeof target->addr, "SendTarget too small");
    std::memcpy(target->addr, found->ai_addr, sizeof(sockaddr_in));
    target->addrLen = static_cast<int>(sizeof(sockaddr_in));
    freeaddrinfo(found);
    return true;
}
