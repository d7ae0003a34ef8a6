// Instructions per loop pass of the real binary, fed at 100 OutGauge datagrams a second, fed by
// an F1 stream at 60 frames a second (Car Telemetry, Car Status, Motion and Lap Data each frame)
// and idle, counted by callgrind. Two runs of different length per regime; their difference
// cancels start-up and shutdown.
//   instructions [--short SECONDS] [--long SECONDS] [--rate HZ] [--program PATH]
// --program measures another build of lumivane (an earlier one, say) with the same streams.
#include "bench/harness.h"
#include "support/process.h"
#include "support/test_support.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct CallgrindRun {
    double instructions = 0; // Ir of the whole process
    double passes = 0;       // calls of ogRead: one per loop pass
    double reports = 0;      // reports written after "Ready for OutGauge data"
    double seconds = 0;      // from "Ready for OutGauge data" to the interrupt
};

// Counts the reports; reads every 200 ms rather than waiting in poll, as cpu_mem does.
void drainReports(int fd, std::atomic<bool> *stop, std::atomic<long> *count)
{
    for (;;) {
        unsigned char r[8 * 64];
        ssize_t n;
        while ((n = read(fd, r, sizeof r)) > 0)
            count->fetch_add(n / 8);
        if (stop->load())
            break;
        usleep(200000);
    }
}

// The name of a compressed "(id) name" or "(id)" reference, remembering new ones.
std::string callgrindName(const std::string &ref, std::map<std::string, std::string> *names)
{
    if (ref.empty() || ref[0] != '(')
        return ref;
    std::size_t close = ref.find(')');
    std::string id = ref.substr(0, close + 1);
    if (close + 1 < ref.size()) {
        (*names)[id] = ref.substr(close + 2);
        return (*names)[id];
    }
    return (*names)[id];
}

// Total Ir and the number of calls of function (by name prefix) from a callgrind file.
bool callgrindParse(const std::string &path, const char *function, double *ir, double *calls)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::map<std::string, std::string> fnNames;
    std::string line, callee;
    *ir = -1;
    *calls = 0;
    while (std::getline(in, line)) {
        if (line.rfind("cfn=", 0) == 0) {
            callee = callgrindName(line.substr(4), &fnNames);
        } else if (line.rfind("fn=", 0) == 0) {
            callgrindName(line.substr(3), &fnNames);
        } else if (line.rfind("calls=", 0) == 0) {
            if (callee.rfind(function, 0) == 0)
                *calls += std::strtod(line.c_str() + 6, nullptr);
        } else if (line.rfind("totals:", 0) == 0) {
            *ir = std::strtod(line.c_str() + 7, nullptr);
        } else if (line.rfind("summary:", 0) == 0 && *ir < 0) {
            *ir = std::strtod(line.c_str() + 8, nullptr);
        }
    }
    return *ir >= 0;
}

// What a run feeds the program.
enum CallgrindFeed { FEED_OUTGAUGE, FEED_F1, FEED_NONE };

const char *const FEED_NAMES[] = {"fed", "f1", "idle"};

// The F1 game's frame rate of its UDP telemetry as racers set it.
constexpr double F1_FRAMES_PER_SECOND = 60.0;

// One F1 25 packet (format 2025) of the given id and length, the player's car 0 with the
// state's rev light and pit limiter: the header as the game fills it and the fields the program
// reads, zeros else.
std::vector<unsigned char> f1Packet(int id, std::size_t length, int state)
{
    std::vector<unsigned char> d(length, 0);
    d[0] = 2025 & 0xFF;
    d[1] = 2025 >> 8;
    d[2] = 25;
    d[3] = 1;  // gameMajorVersion
    d[4] = 10; // gameMinorVersion
    d[5] = 1;  // packetVersion
    d[6] = static_cast<unsigned char>(id);
    for (int i = 7; i < 15; ++i)
        d[i] = static_cast<unsigned char>(0x5A + i); // sessionUID
    if (id == 6) {
        d[29 + 16] = 3000 & 0xFF; // engineRPM
        d[29 + 17] = 3000 >> 8;
        d[29 + 21] = (state & 1) ? 0x40 : 0; // revLightsBitValue bit 14
    } else if (id == 7) {
        d[29 + 4] = (state & 2) ? 1 : 0; // pitLimiterStatus
    }
    return d;
}

// One F1 frame: the two packets the program reads and two it must drop.
void f1SendFrame(TestUdp &out, int port, int state)
{
    out.send(port, f1Packet(6, 1352, state)); // Car Telemetry
    out.send(port, f1Packet(7, 1239, state)); // Car Status
    out.send(port, f1Packet(0, 1349, state)); // Motion
    out.send(port, f1Packet(2, 1285, state)); // Lap Data
}

bool runUnderCallgrind(const std::string &program, CallgrindFeed feed, double seconds, double rate,
                       CallgrindRun *out)
{
    int port = testFreeUdpPort();
    std::string dir = benchMakeConfigDir(std::string("cg-") + FEED_NAMES[feed], port);
    std::string cgFile = dir + "/callgrind.out";
    int reportFd = benchOpenReports();
    TestUdp sender;
    if (reportFd < 0 || !sender.ok())
        return false;
    std::atomic<bool> stop{false};
    std::atomic<long> reports{0};

    TestProcess proc;
    bool ok = processStart(proc, "/usr/bin/valgrind",
                           {"--tool=callgrind", "--callgrind-out-file=" + cgFile,
                            "--log-file=" + dir + "/valgrind.log", program},
                           dir);
    std::string line;
    while (ok && processReadLine(proc, line, 60000) && line != "Ready for OutGauge data") {
    }
    ok = ok && line == "Ready for OutGauge data";
    if (!ok)
        std::printf("instructions: the program did not start under valgrind:\n%s%s",
                    proc.all.c_str(), testReadFile(dir + "/valgrind.log").c_str());
    // Reports from here on: the idle ones written before the ready line are start-up.
    unsigned char junk[8 * 64];
    while (read(reportFd, junk, sizeof junk) > 0) {
    }
    std::thread drain(drainReports, reportFd, &stop, &reports);

    std::int64_t start = testNowNs();
    std::int64_t end = start + static_cast<std::int64_t>(seconds * 1e9);
    const double hz = feed == FEED_F1 ? F1_FRAMES_PER_SECOND : rate;
    const std::int64_t period = static_cast<std::int64_t>(1e9 / hz);
    for (long k = 0; ok && feed != FEED_NONE && start + k * period < end; ++k) {
        benchSleepUntil(start + k * period);
        if (feed == FEED_F1)
            f1SendFrame(sender, port, static_cast<int>(k % 4));
        else
            benchSendState(sender, port, static_cast<int>(k % 4), static_cast<std::int32_t>(k));
    }
    benchSleepUntil(end);
    out->seconds = static_cast<double>(testNowNs() - start) / 1e9;
    if (proc.pid > 0) {
        kill(proc.pid, SIGINT);
        int status = processStop(proc, 0, 60000);
        if (status == -1) {
            std::printf("instructions: valgrind did not end after the interrupt\n");
            processStop(proc, SIGKILL, 5000);
            ok = false;
        }
    }
    // Let the last reports in flight be counted.
    usleep(100000);
    stop.store(true);
    drain.join();
    out->reports = static_cast<double>(reports.load());
    close(reportFd);
    if (ok && !callgrindParse(cgFile, "ogRead(", &out->instructions, &out->passes)) {
        std::printf("instructions: no callgrind output in %s\n", cgFile.c_str());
        ok = false;
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    double shortS = 5.0, longS = 15.0, rate = 100.0;
    std::string program = LUMIVANE_BINARY;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--program") == 0)
            program = argv[i + 1];
        else if (std::strcmp(argv[i], "--short") == 0)
            shortS = std::strtod(argv[i + 1], nullptr);
        else if (std::strcmp(argv[i], "--long") == 0)
            longS = std::strtod(argv[i + 1], nullptr);
        else if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::strtod(argv[i + 1], nullptr);
    }
    if (shortS <= 0 || longS <= shortS || rate <= 0) {
        std::fprintf(stderr, "usage: instructions [--short S] [--long S > short] [--rate HZ] "
                             "[--program PATH]\n");
        return 2;
    }
    if (access("/usr/bin/valgrind", X_OK) != 0) {
        std::printf("instructions: skipped: valgrind is not installed\n");
        return 0;
    }
    std::string why;
    if (!benchEnterNamespace(&why)) {
        std::printf("instructions: skipped: %s\n", why.c_str());
        return 0;
    }
    for (CallgrindFeed feed : {FEED_OUTGAUGE, FEED_F1, FEED_NONE}) {
        const char *name = FEED_NAMES[feed];
        const bool fed = feed != FEED_NONE;
        CallgrindRun a, b;
        if (!runUnderCallgrind(program, feed, shortS, rate, &a) ||
            !runUnderCallgrind(program, feed, longS, rate, &b))
            return 1;
        double perPass = (b.instructions - a.instructions) / (b.passes - a.passes);
        // Cross-check by the other count: idle, one report per pass; fed, one pass per 10 ms.
        double estPasses = fed ? (b.seconds - a.seconds) / 0.010 : b.reports - a.reports;
        double perPassEst = (b.instructions - a.instructions) / estPasses;
        std::printf("instructions: %s: %.0f s run %.0f Ir, %.0f passes, %.0f reports; %.0f s run "
                    "%.0f Ir, %.0f passes, %.0f reports\n",
                    name, a.seconds, a.instructions, a.passes, a.reports, b.seconds, b.instructions,
                    b.passes, b.reports);
        std::printf("instructions: %s: %.0f Ir per pass (passes counted as calls of ogRead); "
                    "%.0f Ir per pass with passes %s\n",
                    name, perPass, perPassEst,
                    fed ? "estimated as elapsed / 10 ms" : "counted as idle reports");
        std::printf("RESULT ir_%s_per_pass %.0f\nRESULT ir_%s_per_pass_est %.0f\n", name, perPass,
                    name, perPassEst);
        std::printf("RESULT ir_%s_startup %.0f\n", name, a.instructions - perPass * a.passes);
    }
    return 0;
}
