// Console title and events on POSIX: the xterm title sequence, and signals
// taken by a thread of their own with sigwait.
#include "app/console_backend.h"

#include "base/out.h"

#include <csignal>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

// Ctrl+C, Ctrl+\ (the break key), the terminal closing, and logoff or shutdown.
const struct {
    int sig;
    int event;
} g_signals[] = {{SIGINT, CONSOLE_CTRL_C},
                 {SIGQUIT, CONSOLE_CTRL_BREAK},
                 {SIGHUP, CONSOLE_CLOSE},
                 {SIGTERM, CONSOLE_SHUTDOWN}};

void signalSet(sigset_t *set)
{
    sigemptyset(set);
    for (const auto &s : g_signals)
        sigaddset(set, s.sig);
}

void signalThread()
{
    sigset_t set;
    signalSet(&set);
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    int event = CONSOLE_SHUTDOWN;
    for (const auto &s : g_signals) {
        if (s.sig == sig)
            event = s.event;
    }
    consoleOnEvent(event);
    // The handler declined the event: the default handling ends the process.
    consoleEndProcess(event);
}

} // namespace

// Ends the process the way the event's signal ends it by default, so the parent sees the
// usual status.
void consoleEndProcess(int event)
{
    int sig = SIGTERM;
    for (const auto &s : g_signals) {
        if (s.event == event)
            sig = s.sig;
    }
    std::signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(sig);
    _exit(128 + sig);
}

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
