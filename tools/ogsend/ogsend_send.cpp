// ogsend's sending: the datagrams of a state, paced at the rate, until the steps end or Ctrl+C.
#include "tools/ogsend/ogsend.h"
#include "tools/ogsend/ogsend_net.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

// Set by Ctrl+C (or a termination request): the sending loop ends after the datagram in hand.
volatile std::sig_atomic_t g_stop = 0;

extern "C" void sendOnSignal(int)
{
    g_stop = 1;
}

// Sleeps until due, in short naps so that Ctrl+C is noticed; false when stopped.
bool sendWaitUntil(std::chrono::steady_clock::time_point due)
{
    const auto nap = std::chrono::milliseconds(50);
    for (;;) {
        if (g_stop)
            return false;
        auto now = std::chrono::steady_clock::now();
        if (now >= due)
            return true;
        std::this_thread::sleep_until(std::min(due, now + nap));
    }
}

// The fields that one current sender adds after the identifier: gear mode (1 byte), cruise
// speed (float), cruise mode (32 bits) and fuel capacity (float), to 109 bytes.
constexpr std::size_t SEND_TRAILER_SIZE = 13;

// The datagram of one state in the layout asked for: the record cut to size, or followed by
// the trailing fields (current layout) and zeros past 96 bytes.
void sendFill(std::vector<unsigned char> *data, const std::string &car, const SendLights &lights,
              float rpm, float fuel, std::int32_t id, bool earlier)
{
    OutGaugePacket packet;
    std::memset(&packet, 0, sizeof packet);
    ogPacketSetCarName(&packet, car.c_str());
    if (earlier) {
        ogPacketSetFlags(&packet, lights.earlier);
    } else {
        // The units, and every light that all current senders share as the car's.
        ogPacketSetFlags(&packet, OG_KM | OG_BAR);
        ogPacketSetLights(&packet, OG_DL_SHARED, lights.current);
    }
    ogPacketSetRpm(&packet, rpm);
    ogPacketSetFuel(&packet, fuel);
    ogPacketSetId(&packet, id);
    std::fill(data->begin(), data->end(), 0);
    if (!data->empty())
        std::memcpy(data->data(), packet.bytes, std::min(data->size(), OG_PACKET_SIZE));
    if (!earlier && data->size() >= OG_PACKET_SIZE + SEND_TRAILER_SIZE) {
        // Gear mode 0, cruise control off, a tank of 60 litres (a little-endian float).
        const float capacity = 60.0f;
        std::uint32_t bits = 0;
        std::memcpy(&bits, &capacity, sizeof bits);
        for (std::size_t i = 0; i < 4; ++i)
            (*data)[OG_PACKET_SIZE + 9 + i] = static_cast<unsigned char>(bits >> (8 * i));
    }
}

// Plays the steps, paced against one fixed schedule at rate so the average rate holds
// however long a send takes. Counts the states sent (an F1 frame of three datagrams is one);
// false when a send failed.
bool sendSteps(SendSocket fd, const SendTarget &target, const SendOptions &opt,
               const std::vector<SendStep> &steps, long *sent)
{
    auto period = std::chrono::duration<double>(1.0 / opt.rate);
    auto start = std::chrono::steady_clock::now();
    long long slot = 0;
    std::vector<unsigned char> data(static_cast<std::size_t>(opt.size), 0);
    for (const SendStep &step : steps) {
        if (g_stop)
            break;
        if (!step.what.empty()) {
            std::printf("%s\n", step.what.c_str());
            std::fflush(stdout);
        }
        long n = step.count;
        if (n <= 0)
            n = std::max(1L, std::lround(static_cast<double>(step.ms) * opt.rate / 1000.0));
        for (long i = 0; i < n; ++i, ++slot) {
            auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   period * static_cast<double>(slot));
            if (slot > 0 && !sendWaitUntil(due))
                return true;
            if (step.silent)
                continue;
            float t = n > 1 ? static_cast<float>(i) / static_cast<float>(n - 1) : 1.0f;
            float rpm = step.rpmFrom + (step.rpmTo - step.rpmFrom) * t;
            float fuel = step.fuelFrom + (step.fuelTo - step.fuelFrom) * t;
            if (opt.game->format == SEND_OUTGAUGE) {
                sendFill(&data, step.car, step.lights, rpm, fuel, static_cast<std::int32_t>(opt.id),
                         opt.earlier);
                if (!sendDatagram(fd, target, data.data(), data.size()))
                    return false;
            } else {
                const SendState state = {
                    step.car, step.lights.current & opt.game->lights, rpm, fuel, opt.max,
                    slot,     static_cast<double>(slot) / opt.rate};
                for (std::size_t part = 0; part < sendGameParts(*opt.game); ++part) {
                    sendGameFill(*opt.game, state, part, &data);
                    if (!sendDatagram(fd, target, data.data(), data.size()))
                        return false;
                }
            }
            ++*sent;
        }
    }
    // A silent end lasts to the end of its last slot.
    if (!steps.empty() && steps.back().silent)
        sendWaitUntil(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  period * static_cast<double>(slot)));
    return true;
}

} // namespace

int sendRun(const SendOptions &opt, const std::vector<SendStep> &steps)
{
    if (!sendNetStart())
        return 1;
    SendTarget target;
    if (!sendResolve(opt.host, opt.port, &target)) {
        sendNetStop();
        return 1;
    }
    SendSocket fd = sendOpen();
    if (fd == SEND_NO_SOCKET) {
        sendNetStop();
        return 1;
    }
    std::signal(SIGINT, sendOnSignal);
    std::signal(SIGTERM, sendOnSignal);

    long sent = 0;
    bool ok = sendSteps(fd, target, opt, steps, &sent);
    sendClose(fd);
    sendNetStop();
    const std::string what = sendGameWhat(*opt.game, opt.size);
    if (opt.mode == SEND_BURST) {
        std::printf("ogsend: sent %ld of %ld %s to %s:%ld\n", sent, opt.count, what.c_str(),
                    opt.host.c_str(), opt.port);
        return ok && sent == opt.count ? 0 : 1;
    }
    std::printf("ogsend: %s; sent %ld %s to %s:%ld\n", g_stop ? "stopped" : "done", sent,
                what.c_str(), opt.host.c_str(), opt.port);
    return ok ? 0 : 1;
}
