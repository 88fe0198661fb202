#include "imsplayer/console_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

extern char **environ;

namespace velk {

struct ConsoleProcess::Native {
    int childStdinRead = -1;     // the child's standard input
    int parentStdinWrite = -1;   // never written
    int parentStdoutRead = -1;   // never read
    int childStdoutWrite = -1;   // the child's output and error
    pid_t processId = -1;
    // Children that outlived the wait, reaped once they have ended.
    std::vector<pid_t> unreaped;
};

ConsoleProcess consoleProcess;

namespace {

constexpr char interpreter[] = "/bin/sh";

void closeAndClear(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// A child that has ended is reaped; true when it is gone.
bool reap(pid_t pid)
{
    int status;
    pid_t result = ::waitpid(pid, &status, WNOHANG);
    return result == pid || (result < 0 && errno == ECHILD);
}

void reapEnded(std::vector<pid_t> &pids)
{
    std::vector<pid_t> running;
    for (pid_t pid : pids)
        if (!reap(pid))
            running.push_back(pid);
    pids.swap(running);
}

} // namespace

ConsoleProcess::ConsoleProcess() : native_(std::make_unique<Native>()) {}

ConsoleProcess::~ConsoleProcess()
{
    closeAll();
}

long ConsoleProcess::processId() const
{
    return native_->processId;
}

void ConsoleProcess::closePipes()
{
    Native &n = *native_;
    closeAndClear(n.childStdinRead);
    closeAndClear(n.childStdoutWrite);
    closeAndClear(n.parentStdinWrite);
    closeAndClear(n.parentStdoutRead);
}

// The child gets its own descriptors at spawn; the host's stay untouched.
void ConsoleProcess::restoreStandardHandles() {}

bool ConsoleProcess::run(const char *commandLine)
{
    closePipes();
    reapEnded(native_->unreaped);
    openPipes();
    if (!startChild(commandLine))
        throw ConsoleProcessError(consoleMessages::createProcess);
    return true;
}

void ConsoleProcess::openPipes()
{
    Native &n = *native_;
    // Close-on-exec everywhere: the child receives only the copies placed on
    // its descriptors 0, 1 and 2.
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0)
        throw ConsoleProcessError(consoleMessages::stdoutPipe);
    n.parentStdoutRead = output[0];
    n.childStdoutWrite = output[1];
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0)
        throw ConsoleProcessError(consoleMessages::stdinPipe);
    n.childStdinRead = input[0];
    n.parentStdinWrite = input[1];
}

bool ConsoleProcess::startChild(const char *commandLine)
{
    Native &n = *native_;
    if (std::strlen(interpreter) + std::strlen(" -c ") + std::strlen(commandLine) >= commandBufferSize)
        return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, n.childStdinRead, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, n.childStdoutWrite, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, n.childStdoutWrite, STDERR_FILENO);
    // A process group of its own, as a console of its own on Windows: the
    // host's terminal signals do not reach the child.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);

    char shell[] = "/bin/sh", dashC[] = "-c";
    std::vector<char> command(commandLine, commandLine + std::strlen(commandLine) + 1);
    char *argv[] = {shell, dashC, command.data(), nullptr};
    pid_t pid;
    int failed = posix_spawn(&pid, interpreter, &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return false;

    n.processId = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    for (;;) {
        if (reap(pid))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    n.unreaped.push_back(pid);
    return true;
}

void ConsoleProcess::closeAll()
{
    Native &n = *native_;
    reapEnded(n.unreaped);
    if (n.processId == -1)
        return;
    closePipes();
    n.processId = -1;
}

} // namespace velk
