// Starting the real programs from tests.
#include "support/process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

pid_t spawn(const std::string &program, const std::vector<std::string> &args,
            const std::string &cwd, int outFd)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        // The child starts with default signal handling and an empty mask, as from a shell.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        if (outFd >= 0) {
            dup2(outFd, STDOUT_FILENO);
            close(outFd);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

int waitFor(pid_t pid, int timeoutMs)
{
    long long end = nowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return status;
        if (r < 0 && errno != EINTR)
            return -1;
        if (nowMs() > end)
            return -1;
        usleep(5000);
    }
}

} // namespace

bool processStart(TestProcess &proc, const std::string &program,
                  const std::vector<std::string> &args, const std::string &cwd)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    // dup2 clears close-on-exec on the child's copy.
    proc.pid = spawn(program, args, cwd, fds[1]);
    close(fds[1]);
    proc.outFd = fds[0];
    return proc.pid > 0;
}

bool processReadLine(TestProcess &proc, std::string &line, int timeoutMs)
{
    long long end = nowMs() + timeoutMs;
    for (;;) {
        std::size_t nl = proc.pending.find('\n');
        if (nl != std::string::npos) {
            line = proc.pending.substr(0, nl);
            proc.pending.erase(0, nl + 1);
            return true;
        }
        long long left = end - nowMs();
        if (left <= 0 || proc.outFd < 0)
            return false;
        struct pollfd pfd = {proc.outFd, POLLIN, 0};
        int r = poll(&pfd, 1, static_cast<int>(left));
        if (r <= 0)
            continue;
        char buf[4096];
        ssize_t n = read(proc.outFd, buf, sizeof buf);
        if (n <= 0) {
            close(proc.outFd);
            proc.outFd = -1;
            continue;
        }
        proc.pending.append(buf, static_cast<std::size_t>(n));
        proc.all.append(buf, static_cast<std::size_t>(n));
    }
}

bool processAlive(TestProcess &proc)
{
    if (proc.pid <= 0)
        return false;
    int status = 0;
    return waitpid(proc.pid, &status, WNOHANG) == 0;
}

int processStop(TestProcess &proc, int sig, int timeoutMs)
{
    if (proc.pid <= 0)
        return -1;
    kill(proc.pid, sig);
    int status = waitFor(proc.pid, timeoutMs);
    if (status == -1) {
        kill(proc.pid, SIGKILL);
        waitFor(proc.pid, 5000);
    }
    proc.pid = -1;
    return status;
}

int processRun(const std::string &program, const std::vector<std::string> &args, int timeoutMs)
{
    pid_t pid = spawn(program, args, "", -1);
    if (pid <= 0)
        return -1;
    int status = waitFor(pid, timeoutMs);
    if (status == -1) {
        kill(pid, SIGKILL);
        waitFor(pid, 5000);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
