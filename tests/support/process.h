// Starting the real programs from tests: output through a pipe, signals, exit status.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

struct TestProcess {
    pid_t pid = -1;
    int outFd = -1;      // the child's standard output
    std::string pending; // output read but not yet taken as lines
    std::string all;     // everything read, for failure messages
};

// Starts program with args in folder cwd; its standard output goes to a pipe. With
// asNobody, the program runs as the user nobody (and its group, without others), so that a
// test run as root can see what the permissions of files refuse a user.
bool processStart(TestProcess &proc, const std::string &program,
                  const std::vector<std::string> &args, const std::string &cwd,
                  bool asNobody = false);

// The next complete output line (without its line end), waiting up to timeoutMs.
bool processReadLine(TestProcess &proc, std::string &line, int timeoutMs);

// Whether the process is still running.
bool processAlive(TestProcess &proc);

// Sends sig and waits up to timeoutMs for the end; returns the wait status or -1.
int processStop(TestProcess &proc, int sig, int timeoutMs);

// Runs a program to its end (at most timeoutMs) and returns its exit code, or -1.
int processRun(const std::string &program, const std::vector<std::string> &args, int timeoutMs);

// Sends sig to the program and expects its lines: the first one after whatever the program
// printed before, the others right after it. Then expects the program to end by sig within
// maxMs of the signal. Returns how long it took to end, -1 when it did not end.
long long expectEndBySignal(TestProcess &proc, int sig, const std::vector<std::string> &lines,
                            long long maxMs = 10000);
