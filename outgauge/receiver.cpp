// The portable part of the OutGauge receiver: its state, messages, the drain and the wait for a
// port held by another program; the backends only make, read and close the socket.
#include "outgauge/receiver.h"
#include "outgauge/receiver_backend.h"

#include "base/out.h"
#include "base/pace.h"
#include "outgauge/games.h"

#include <atomic>
#include <mutex>

namespace {

// The lock serialises every routine: ogClose also runs on the console-event thread while the
// main loop may be inside ogRead, and the socket must not be closed (and its descriptor
// perhaps reused by another open) under a receive in progress.
std::mutex g_lock;
bool g_open = false;
OgSocket g_socket = {-1, nullptr};

// The port was held by another program: ogRetry tries it again. Read without the lock on every
// pass of the loop.
std::atomic<bool> g_waiting{false};
std::uint16_t g_port = 0;
Pace g_pace = {false, 0};

// What telling the datagrams apart keeps (F1's two halves), and whether the line about an old
// F1 format was printed: once a run is enough.
OgGames g_games = ogGamesInitial();
bool g_oldF1Told = false;

// Opens the socket on g_port; on failure *why says why. A socket opened anew (another port
// after an edit) starts from nothing received: an F1 Car Status of the old sender must not
// light the pit limiter or the low fuel with the new sender's first Car Telemetry.
bool ogOpen(OgOpenFailure *why)
{
    if (!ogSysOpen(g_port, &g_socket, why))
        return false;
    g_games = ogGamesInitial();
    g_open = true;
    g_waiting.store(false);
    return true;
}

// Prints the message of a failure; true when it is the port held by another program, which is
// worth trying again.
bool ogReportFailure(OgOpenFailure why, std::uint16_t port)
{
    switch (why) {
    case OG_FAIL_STARTUP:
        // The message keeps its wording; its line end keeps the next message off its line.
        outPrintf("ogInit : WSAStartup failed\n");
        return false;
    case OG_FAIL_SOCKET:
        outPrintf("ogInit: Socket creation failed\n");
        return false;
    case OG_FAIL_BUSY:
        outPrintf("ogInit: Socket bind failed\n");
        outPrintf("ogInit: Port %u is in use by another program; trying again every second...\n",
                  static_cast<unsigned>(port));
        return true;
    case OG_FAIL_BIND:
        outPrintf("ogInit: Socket bind failed\n");
        return false;
    case OG_FAIL_SELECT:
        outPrintf("ogInit: WSAEventSelect failed\n");
        return false;
    }
    return false;
}

} // namespace

bool ogInit(std::int32_t port)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_open)
        return true;
    outPrintf("ogInit: Initializing OutGauge, port %d...\n", static_cast<int>(port));
    g_port = ogPortOf(port);
    OgOpenFailure why = OG_FAIL_SOCKET;
    if (ogOpen(&why))
        return true;
    g_waiting.store(ogReportFailure(why, g_port));
    g_pace.started = false;
    return false;
}

bool ogRead(OutGaugePacket *packet, OgExtra *extra)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_open)
        return false;

    ogPacketSetId(packet, -1);
    OgExtra ignored;
    OgExtra *into = extra != nullptr ? extra : &ignored;
    bool accepted = false;
    unsigned char buf[OG_RECEIVE_SIZE];
    // Every receive counts toward the bound, failed ones included, so that a sender flooding
    // the port cannot keep the main loop here.
    for (int i = 0; i < OG_DRAIN_LIMIT; ++i) {
        long n = ogSysReceive(g_socket, buf, sizeof buf);
        if (n == OG_SYS_EMPTY)
            break;
        const OgVerdict verdict = ogRecognize(&g_games, buf, n, packet, into);
        if (verdict == OG_TAKEN)
            accepted = true;
        if (verdict == OG_DROPPED_OLD_F1 && !g_oldF1Told) {
            outPrintf("ogRead: F1 sends UDP Format %d, which is not read: set UDP Format to 2023 "
                      "or later in the game's UDP Telemetry Settings\n",
                      g_games.oldF1Format);
            g_oldF1Told = true;
        }
    }
    return accepted;
}

void ogClose()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_waiting.store(false);
    if (!g_open)
        return;
    outPrintf("ogClose: Closing OutGauge...\n");
    ogSysClose(g_socket);
    g_socket = OgSocket{-1, nullptr};
    g_open = false;
}

bool ogRetry(std::uint32_t now)
{
    if (!g_waiting.load(std::memory_order_relaxed))
        return false;
    std::lock_guard<std::mutex> guard(g_lock);
    if (!g_waiting.load() || g_open || !paceDue(&g_pace, now, PACE_RETRY_MS))
        return false;
    OgOpenFailure why = OG_FAIL_SOCKET;
    if (ogOpen(&why)) {
        outPrintf("ogInit: Port %u is free now: receiving OutGauge data\n",
                  static_cast<unsigned>(g_port));
        return true;
    }
    if (why != OG_FAIL_BUSY) {
        ogReportFailure(why, g_port);
        g_waiting.store(false);
    }
    return false;
}

bool ogIsOpen()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_open;
}
