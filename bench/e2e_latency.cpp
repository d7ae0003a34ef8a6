// End-to-end latency of the real binary: from the send of each datagram to the report it
// causes on the stand-in LED device, at the simulator's usual rate of 100 datagrams a second.
//   e2e_latency [--count N] [--rate HZ]
#include "bench/harness.h"
#include "support/test_support.h"
#include "support/process.h"

#include <atomic>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <csignal>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Report {
    std::int64_t t; // CLOCK_MONOTONIC ns, just after the read returned
    int leds;
};

// Reads every report off the device node with a blocking poll until stop is set.
void readReports(int fd, std::atomic<bool> *stop, std::vector<Report> *out)
{
    while (!stop->load()) {
        struct pollfd pfd = {fd, POLLIN, 0};
        if (poll(&pfd, 1, 50) <= 0)
            continue;
        unsigned char r[8];
        while (read(fd, r, sizeof r) == static_cast<ssize_t>(sizeof r))
            out->push_back({testNowNs(), r[2]});
    }
}

// The state of measured datagram k: consecutive datagrams always differ, and any four
// in a row are distinct, so a report names its datagram among the last four sent.
int stateOf(long k)
{
    return static_cast<int>((k + 2) % 4);
}

} // namespace

int main(int argc, char **argv)
{
    long count = 1000;
    double rate = 100.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--count") == 0)
            count = std::strtol(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::strtod(argv[i + 1], nullptr);
    }
    if (count < 1 || rate <= 0) {
        std::fprintf(stderr, "usage: e2e_latency [--count N] [--rate HZ]\n");
        return 2;
    }

    std::string why;
    if (!benchEnterNamespace(&why)) {
        std::printf("e2e_latency: skipped: %s\n", why.c_str());
        return 0;
    }
    int port = testFreeUdpPort();
    std::string dir = benchMakeConfigDir("latency", port);
    int reportFd = benchOpenReports();
    TestUdp sender;
    if (reportFd < 0 || !sender.ok()) {
        std::printf("e2e_latency: cannot open the device node or the sender\n");
        return 1;
    }

    TestProcess proc;
    if (!processStart(proc, LUMIVANE_BINARY, {}, dir)) {
        std::printf("e2e_latency: cannot start %s\n", LUMIVANE_BINARY);
        return 1;
    }
    std::string line;
    while (processReadLine(proc, line, 10000) && line != "Ready for OutGauge data") {
    }
    if (line != "Ready for OutGauge data") {
        std::printf("e2e_latency: the program did not get ready:\n%s", proc.all.c_str());
        processStop(proc, SIGKILL, 5000);
        return 1;
    }

    // Warm-up: the first datagram changes the car and loads its profile, a one-off cost
    // that is not part of the steady latency. Wait for its report (state 1).
    bool warm = false;
    for (int tries = 0; tries < 50 && !warm; ++tries) {
        benchSendState(sender, port, 1, -2);
        std::int64_t end = testNowNs() + 100000000;
        while (!warm && testNowNs() < end) {
            struct pollfd pfd = {reportFd, POLLIN, 0};
            poll(&pfd, 1, 20);
            unsigned char r[8];
            while (read(reportFd, r, sizeof r) == 8)
                warm = warm || r[2] == benchStateReportByte(1);
        }
    }
    if (!warm) {
        std::printf("e2e_latency: no report for the warm-up datagram\n");
        processStop(proc, SIGKILL, 5000);
        return 1;
    }

    std::vector<Report> reports;
    reports.reserve(static_cast<std::size_t>(count) * 2 + 16);
    std::atomic<bool> stop{false};
    std::thread reader(readReports, reportFd, &stop, &reports);

    std::vector<std::int64_t> sent(static_cast<std::size_t>(count));
    const std::int64_t period = static_cast<std::int64_t>(1e9 / rate);
    std::int64_t start = testNowNs() + 20000000;
    long sendFailures = 0;
    for (long k = 0; k < count; ++k) {
        benchSleepUntil(start + k * period);
        sent[static_cast<std::size_t>(k)] = testNowNs();
        if (!benchSendState(sender, port, stateOf(k), static_cast<std::int32_t>(k)))
            ++sendFailures;
    }
    // Time for the last report, well short of the 2000 ms idle rule.
    benchSleepUntil(testNowNs() + 300000000);
    stop.store(true);
    reader.join();
    kill(proc.pid, SIGINT);
    processStop(proc, SIGKILL, 5000);

    // Each report belongs to the newest datagram of its state sent before it.
    std::vector<double> latencyMs(static_cast<std::size_t>(count), -1.0);
    long unmatched = 0;
    for (const Report &r : reports) {
        long newest =
            static_cast<long>(std::upper_bound(sent.begin(), sent.end(), r.t) - sent.begin()) - 1;
        long cause = -1;
        for (long j = newest; j >= 0 && j > newest - 4; --j) {
            if (benchStateReportByte(stateOf(j)) == r.leds) {
                cause = j;
                break;
            }
        }
        if (cause < 0 || latencyMs[static_cast<std::size_t>(cause)] >= 0) {
            ++unmatched;
            continue;
        }
        latencyMs[static_cast<std::size_t>(cause)] =
            static_cast<double>(r.t - sent[static_cast<std::size_t>(cause)]) / 1e6;
    }
    std::vector<double> got;
    for (double v : latencyMs)
        if (v >= 0)
            got.push_back(v);
    long superseded = count - static_cast<long>(got.size());

    double median = benchMedian(got);
    double p99 = benchPercentile(got, 99.0);
    double max = got.empty() ? 0.0 : *std::max_element(got.begin(), got.end());
    double min = got.empty() ? 0.0 : *std::min_element(got.begin(), got.end());
    std::printf("e2e_latency: %ld datagrams at %.0f/s, %zu with a report of their own, "
                "%ld superseded by a newer one in the same pass, %ld reports unmatched, "
                "%ld send failures\n",
                count, rate, got.size(), superseded, unmatched, sendFailures);
    std::printf("e2e_latency: send to report, ms: min %.3f  median %.3f  p99 %.3f  max %.3f\n", min,
                median, p99, max);
    std::printf("RESULT latency_count %zu\n", got.size());
    std::printf("RESULT latency_superseded %ld\n", superseded);
    std::printf("RESULT latency_median_ms %.3f\n", median);
    std::printf("RESULT latency_p99_ms %.3f\n", p99);
    std::printf("RESULT latency_max_ms %.3f\n", max);
    return 0;
}
