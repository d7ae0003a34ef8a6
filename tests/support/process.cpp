// Starting the real programs from tests.
#include "support/process.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The user a child runs as: its ids, or a uid of -1 for the test's own.
struct SpawnUser {
    uid_t uid;
    gid_t gid;
};
const SpawnUser kSameUser = {static_cast<uid_t>(-1), static_cast<gid_t>(-1)};

pid_t spawn(const std::string &program, const std::vector<std::string> &args,
            const std::string &cwd, int outFd, SpawnUser user = kSameUser)
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
        // The user first, so that the folder too is entered with the user's rights.
        if (user.uid != static_cast<uid_t>(-1) &&
            (setgroups(0, nullptr) != 0 || setgid(user.gid) != 0 || setuid(user.uid) != 0))
            _exit(125);
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
    long long end = testNowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return status;
        if (r < 0 && errno != EINTR)
            return -1;
        if (testNowMs() > end)
            return -1;
        usleep(5000);
    }
}

} // namespace

bool processStart(TestProcess &proc, const std::string &program,
                  const std::vector<std::string> &args, const std::string &cwd, bool asNobody)
{
    SpawnUser user = kSameUser;
    if (asNobody) {
        // Looked up before the fork: the child calls nothing but the system.
        const passwd *nobody = getpwnam("nobody");
        if (nobody == nullptr)
            return false;
        user = SpawnUser{nobody->pw_uid, nobody->pw_gid};
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    // dup2 clears close-on-exec on the child's copy.
    proc.pid = spawn(program, args, cwd, fds[1], user);
    close(fds[1]);
    proc.outFd = fds[0];
    return proc.pid > 0;
}

bool processReadLine(TestProcess &proc, std::string &line, int timeoutMs)
{
    long long end = testNowMs() + timeoutMs;
    for (;;) {
        std::size_t nl = proc.pending.find('\n');
        if (nl != std::string::npos) {
            line = proc.pending.substr(0, nl);
            proc.pending.erase(0, nl + 1);
            return true;
        }
        long long left = end - testNowMs();
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

long long expectEndBySignal(TestProcess &proc, int sig, const std::vector<std::string> &lines,
                            long long maxMs)
{
    if (!processAlive(proc)) {
        ADD_FAILURE() << "not running when the signal was to be sent; output:\n" << proc.all;
        return -1;
    }
    long long sent = testNowMs();
    kill(proc.pid, sig);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line;
        bool got = processReadLine(proc, line, static_cast<int>(maxMs));
        while (got && i == 0 && line != lines[0])
            got = processReadLine(proc, line, static_cast<int>(maxMs));
        if (!got || line != lines[i]) {
            ADD_FAILURE() << "after signal " << sig << " expected '" << lines[i] << "'; output:\n"
                          << proc.all;
            break;
        }
    }
    long long left = sent + maxMs - testNowMs();
    int status = processStop(proc, 0, static_cast<int>(left > 0 ? left : 0));
    long long took = testNowMs() - sent;
    if (status == -1) {
        ADD_FAILURE() << "still running " << maxMs << " ms after signal " << sig;
        return -1;
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig)
        << "status " << status << " after signal " << sig;
    return took;
}
