// Console title and events on POSIX: the xterm title sequence, and signals
// taken by a thread of their own with sigwait.
#include "app/console.h"

#include "app/out.h"

#include <csignal>
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

void signalThread()
{
    sigset_t set;
    signalSet(&set);
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    ctrlHandler(eventOfSignal(sig));
    // The handler declined the event: end the process the way this signal
    // ends it by default, so the parent sees the usual status.
    std::signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(sig);
    _exit(128 + sig);
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
