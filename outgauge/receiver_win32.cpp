// The OutGauge receiver on Windows: a Winsock UDP socket made non-blocking by event selection.
#include "outgauge/receiver.h"

#include "base/out.h"

#include <cstring>
#include <mutex>

#include <winsock2.h>
#include <windows.h>

namespace {

// ogClose also runs on the console handler's thread: every routine holds the lock.
std::mutex g_lock;
SOCKET g_socket = INVALID_SOCKET;
HANDLE g_event = nullptr;
bool g_open = false;

// Releases whatever a failed ogInit had built, the library included.
void ogReleaseAll()
{
    if (g_socket != INVALID_SOCKET) {
        closesocket(g_socket);
        g_socket = INVALID_SOCKET;
    }
    if (g_event != nullptr) {
        CloseHandle(g_event);
        g_event = nullptr;
    }
    WSACleanup();
}

} // namespace

bool ogInit(std::int32_t port)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_open)
        return true;

    outPrintf("ogInit: Initializing OutGauge, port %d...\n", static_cast<int>(port));

    WSADATA wsaData;
    if (WSAStartup(MAKEWORD(2, 2), &wsaData) != 0) {
        outPrintf("ogInit : WSAStartup failed");
        WSACleanup();
        return false;
    }

    g_socket = socket(AF_INET, SOCK_DGRAM, 0);
    if (g_socket == INVALID_SOCKET) {
        outPrintf("ogInit: Socket creation failed\n");
        ogReleaseAll();
        return false;
    }

    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<u_short>(port & 0xFFFF));
    if (bind(g_socket, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == SOCKET_ERROR) {
        outPrintf("ogInit: Socket bind failed\n");
        ogReleaseAll();
        return false;
    }

    // Selecting events also makes the socket non-blocking. The event itself is
    // never waited on: ogRead polls the recorded network events instead.
    g_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (g_event == nullptr ||
        WSAEventSelect(g_socket, g_event, FD_READ | FD_CLOSE) == SOCKET_ERROR) {
        outPrintf("ogInit: WSAEventSelect failed\n");
        ogReleaseAll();
        return false;
    }

    g_open = true;
    return true;
}

bool ogRead(OutGaugePacket &packet)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_open)
        return false;

    ogPacketSetId(packet, -1);
    bool accepted = false;
    char buffer[OG_PACKET_SIZE];
    // Each recv records FD_READ again while datagrams remain queued, so the
    // loop ends when the queue is empty (or at the flood limit, leaving the
    // rest recorded for the next call).
    for (int taken = 0; taken < OG_DRAIN_LIMIT; ++taken) {
        WSANETWORKEVENTS events;
        if (WSAEnumNetworkEvents(g_socket, nullptr, &events) == SOCKET_ERROR)
            break;
        if ((events.lNetworkEvents & FD_READ) == 0)
            break;
        // A datagram longer than the buffer fails with WSAEMSGSIZE, with its first 96
        // bytes in the buffer and the rest discarded: the record takes those. An empty
        // one gives 0 and is dropped.
        int got = recv(g_socket, buffer, static_cast<int>(sizeof buffer), 0);
        if (got == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE)
            got = static_cast<int>(sizeof buffer);
        if (ogPacketAccept(packet, buffer, got))
            accepted = true;
    }
    return accepted;
}

void ogClose()
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_open)
        return;
    outPrintf("ogClose: Closing OutGauge...\n");
    ogReleaseAll();
    g_open = false;
}
