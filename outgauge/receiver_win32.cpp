// The OutGauge receiver's socket on Windows: a Winsock UDP socket made non-blocking by event
// selection.
#include "outgauge/receiver_backend.h"

#include "outgauge/address.h"

#include <winsock2.h>
#include <windows.h>

namespace {

// Releases what a socket holds, the library included.
void ogRelease(SOCKET sock, HANDLE event)
{
    if (sock != INVALID_SOCKET)
        closesocket(sock);
    if (event != nullptr)
        CloseHandle(event);
    WSACleanup();
}

} // namespace

// Each socket starts the library for itself and releases it when closed.
bool ogSysOpen(std::uint16_t port, OgSocket *out, OgOpenFailure *why)
{
    WSADATA wsaData;
    // Only a start-up that succeeded is undone: a failed one holds nothing to release.
    if (WSAStartup(MAKEWORD(2, 2), &wsaData) != 0) {
        *why = OG_FAIL_STARTUP;
        return false;
    }
    SOCKET sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock == INVALID_SOCKET) {
        *why = OG_FAIL_SOCKET;
        ogRelease(sock, nullptr);
        return false;
    }
    const sockaddr_in addr = ogAnyAddress(port);
    if (bind(sock, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == SOCKET_ERROR) {
        *why = WSAGetLastError() == WSAEADDRINUSE ? OG_FAIL_BUSY : OG_FAIL_BIND;
        ogRelease(sock, nullptr);
        return false;
    }
    // Selecting events also makes the socket non-blocking. The event itself is never waited
    // on: ogSysReceive polls the recorded network events instead.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr || WSAEventSelect(sock, event, FD_READ | FD_CLOSE) == SOCKET_ERROR) {
        *why = OG_FAIL_SELECT;
        ogRelease(sock, event);
        return false;
    }
    *out = OgSocket{static_cast<std::intptr_t>(sock), event};
    return true;
}

long ogSysReceive(const OgSocket &socket, void *buf, std::size_t size)
{
    SOCKET sock = static_cast<SOCKET>(socket.handle);
    // Each recv records FD_READ again while datagrams remain queued, so the drain ends when
    // the queue is empty.
    WSANETWORKEVENTS events;
    if (WSAEnumNetworkEvents(sock, nullptr, &events) == SOCKET_ERROR ||
        (events.lNetworkEvents & FD_READ) == 0)
        return OG_SYS_EMPTY;
    // A datagram longer than the buffer fails with WSAEMSGSIZE, with its first bytes in the
    // buffer and the rest discarded: it counts as a datagram of the buffer's size, which the
    // record takes. An empty one gives 0.
    int got = recv(sock, static_cast<char *>(buf), static_cast<int>(size), 0);
    if (got == SOCKET_ERROR)
        return WSAGetLastError() == WSAEMSGSIZE ? static_cast<long>(size) : -1;
    return got;
}

void ogSysClose(const OgSocket &socket)
{
    ogRelease(static_cast<SOCKET>(socket.handle), static_cast<HANDLE>(socket.event));
}
