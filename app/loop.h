// Start-up, the polling loop and its state.
#pragma once

#include <cstdint>

#include "outgauge/packet.h"

constexpr std::uint32_t LOOP_PAUSE_MS = 10;
constexpr std::uint32_t LOOP_IDLE_MS = 2000;
constexpr std::uint32_t LOOP_IDLE_PAUSE_MS = 100;

extern OutGaugePacket packet;
extern std::uint32_t lastPacketTick;

// Banner, title, console handler, global settings, receiver and device.
void appStartup();

// One pass of the loop: read, car change, LED update, idle rule, pauses.
void appLoopPass();

// Start-up, then the loop forever.
int appMain();
