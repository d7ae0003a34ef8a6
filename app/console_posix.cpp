// Console title and events on POSIX: the xterm title sequence, and signals
// taken by a thread of their own with sigwait.
#include "app/console.h"

#include "app/clock.h"
#include "app/out.h"

#include <csignal>
#include <cstdint>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

// Ctrl+C, Ctrl+\ (the break key), the terminal closing, and logoff or shutdown.
const int g_signals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};

int eventOfSignal(int sig)
{
    switch (sig) {
    case SIGINT:
        return CONSOLE_CTRL_C;
    case SIGQUIT:
        return CONSOLE_CTRL_BREAK;
    case SIGHUP:
        return CONSOLE_CLOSE;
    default:
        return CONSOLE_SHUTDOWN;
    }
}

void signalSet(sigset_t *set)
{
    sigemptyset(set);
    for (int sig : g_signals)
        sigaddset(set, sig);
}

// How long the handler may take before the process ends without it. The handler prints
// and then waits for the receiver's and the device's locks: with the console's output stuck
// (a paused terminal, a pager that reads no more) or a report write that does not return,
// it would wait with no end, and the console event must still end the program.
constexpr std::uint32_t SHUTDOWN_LIMIT_MS = 5000;

// Ends the process the way sig ends it by default, so the parent sees the usual status.
[[noreturn]] void endBySignal(int sig)
{
    std::signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(sig);
    _exit(128 + sig);
}

void signalThread()
{
    sigset_t set;
    signalSet(&set);
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    std::thread([sig] {
        clockSystemSleep(SHUTDOWN_LIMIT_MS);
        endBySignal(sig);
    }).detach();
    ctrlHandler(eventOfSignal(sig));
    // The handler declined the event: the default handling ends the process.
    endBySignal(sig);
}

} // namespace

void consoleSetTitle(const char *title)
{
    if (isatty(STDOUT_FILENO))
        outPrintf("\033]0;%s\007", title);
}

bool consoleInstallHandler()
{
    // A write to a closed pipe or socket must fail with an error, not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    // The signals are blocked in this thread before any other thread exists,
    // so every thread started later inherits the mask and only the waiting
    // thread takes them.
    sigset_t set;
    signalSet(&set);
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        return false;
    std::thread(signalThread).detach();
    return true;
}
