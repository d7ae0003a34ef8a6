// The end-to-end harness: the real lumivane binary in a private mount namespace with stand-in
// hidraw devices over /sys and /dev, its output read line by line, its reports read back.
#pragma once

#include "support/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class EndToEnd : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // lumivane.cfg in dir: [config] with the test's port, then extra.
    void writeConfig(const std::string &extra);

    // hidraw device n with the IDs, its node a FIFO.
    void addDevice(int n, unsigned vendor, unsigned product);

    // Starts the program in dir; with asNobody as the user nobody (see processStart).
    void start(bool asNobody = false);

    // The next line of output, or a failure with what was printed so far.
    std::string line(int timeoutMs = 10000);

    // Skips lines until one equals want; false (with a failure) when none comes in time.
    bool waitLine(const std::string &want, int timeoutMs = 10000);

    void expectLines(const std::vector<std::string> &lines);

    // The start-up transcript through "Ready for OutGauge data", with the device found or
    // not, and the port shown as shownPort (the test's port when -1).
    void expectStartup(bool deviceFound, long long shownPort = -1);

    // The usual start: device 0 (046D:CA03) read by the test, lumivane.cfg of writeConfig,
    // the program started and up with the device found.
    void startWithDevice(const std::string &extra);

    // Opens /dev/hidrawN for reading the reports the program writes.
    void openReports(int n);

    // The next report the program writes, as its LED byte; -1 when none comes in time.
    int nextReport(int timeoutMs = 10000);

    // Waits for a report with the given LED byte, skipping others.
    bool waitReport(int leds, int timeoutMs = 10000);

    // Runs the real sender to the test's port with args.
    void send(const std::vector<std::string> &args);

    // Ctrl+C: the shutdown line and an end by SIGINT.
    void expectCleanCtrlC() { expectEndBySignal(proc, SIGINT, {"Shutdown..."}); }

    std::string dir;
    int port = 0;
    int reportFd = -1;
    std::string reportBuffer; // bytes read from reportFd but not yet taken as reports
    TestProcess proc;
};
