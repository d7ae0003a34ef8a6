// Shared parts of the end-to-end benchmarks: the stand-in device in a private mount namespace,
// the real binary started beside it, datagrams sent to it and the reports it writes.
#pragma once

#include "support/test_support.h"

#include <cstdint>
#include <string>
#include <vector>
#include <sys/types.h>

// Makes a private mount namespace with tmpfs over /sys and /dev and lays out one
// stand-in LED device (vendor 0x046D, product 0xCA03) whose node /dev/hidraw0 is a
// FIFO. Needs root. False with the reason in *why when it cannot be done.
bool benchEnterNamespace(std::string *why);

// A new folder holding lumivane.cfg: the port, LED1 on the shift light (code 1) and
// LED2 on the pit speed limiter (code 3) for every car.
std::string benchMakeConfigDir(const std::string &tag, int port);

// The Flags word that lights the LEDs of state (bit 0: LED 1, bit 1: LED 2).
std::uint16_t benchStateFlags(int state);

// The LED byte of the report the program writes for state.
int benchStateReportByte(int state);

// Sends one 96-byte datagram for car "BNCH" to 127.0.0.1:port with the LEDs of state and id
// as its trailing identifier. True when the whole datagram went out.
bool benchSendState(TestUdp &out, int port, int state, std::int32_t id);

// The report node of the stand-in device, opened for reading without blocking.
int benchOpenReports();

// Sleeps until the time t (ns) of testNowNs.
void benchSleepUntil(std::int64_t t);

// CPU time (user + system, all threads) that process pid has used so far, in ns; -1
// when it cannot be read.
std::int64_t benchCpuNs(pid_t pid);

// Peak resident memory (VmHWM) of process pid in KiB; -1 when it cannot be read.
long benchPeakRssKib(pid_t pid);

// Median, percentile and spread of a list of numbers (sorted copies).
double benchMedian(std::vector<double> values);
double benchPercentile(std::vector<double> values, double p);
