// The datagram sender's sockets on Windows (Winsock).
#include "tools/ogsend/ogsend_net.h"

#include <cstdio>
#include <cstring>

#include <winsock2.h>

bool sendNetStart()
{
    WSADATA data;
    int rc = WSAStartup(MAKEWORD(2, 2), &data);
    if (rc != 0) {
        std::fprintf(stderr, "ogsend: cannot start Winsock: error %d\n", rc);
        return false;
    }
    return true;
}

void sendNetStop()
{
    WSACleanup();
}

std::string sendResolveError(int rc)
{
    return "error " + std::to_string(rc);
}

SendSocket sendOpen()
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        std::fprintf(stderr, "ogsend: cannot create socket: error %d\n", WSAGetLastError());
        return SEND_NO_SOCKET;
    }
    return static_cast<SendSocket>(s);
}

bool sendDatagram(SendSocket fd, const SendTarget &target, const unsigned char *data,
                  std::size_t len)
{
    int n =
        sendto(static_cast<SOCKET>(fd), reinterpret_cast<const char *>(data), static_cast<int>(len),
               0, reinterpret_cast<const sockaddr *>(target.addr), target.addrLen);
    if (n == SOCKET_ERROR || static_cast<std::size_t>(n) != len) {
        if (n == SOCKET_ERROR)
            std::fprintf(stderr, "ogsend: send failed: error %d\n", WSAGetLastError());
        else
            std::fprintf(stderr, "ogsend: send failed: short write\n");
        return false;
    }
    return true;
}

void sendClose(SendSocket fd)
{
    closesocket(static_cast<SOCKET>(fd));
}
