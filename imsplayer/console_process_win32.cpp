#include "imsplayer/console_process.h"

#include <windows.h>

#include <cstring>

namespace velk {

struct ConsoleProcess::Native {
    PROCESS_INFORMATION processInfo{};
    STARTUPINFOA startupInfo{};
    HANDLE childStdinRead = nullptr;     // the child's standard input, inheritable
    HANDLE parentStdinWrite = nullptr;   // never written
    HANDLE parentStdoutRead = nullptr;   // never read
    HANDLE childStdoutWrite = nullptr;   // the child's output and error, inheritable
    HANDLE savedStdin = nullptr;
    HANDLE savedStdout = nullptr;
    bool stdinSaved = false;
    bool stdoutSaved = false;
    DWORD processId = static_cast<DWORD>(-1);
};

ConsoleProcess consoleProcess;

namespace {

void closeAndClear(HANDLE &handle)
{
    if (handle) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

// Duplicates a pipe end into one the child cannot inherit, and closes the
// inheritable original.
void keepPrivately(HANDLE &temporary, HANDLE &kept)
{
    HANDLE self = GetCurrentProcess();
    BOOL duplicated = DuplicateHandle(self, temporary, self, &kept, 0, FALSE, DUPLICATE_SAME_ACCESS);
    closeAndClear(temporary);
    if (!duplicated) {
        kept = nullptr;
        throw ConsoleProcessError(consoleMessages::duplicateHandle);
    }
}

} // namespace

ConsoleProcess::ConsoleProcess() : native_(std::make_unique<Native>())
{
    native_->startupInfo.cb = sizeof(STARTUPINFOA);
}

ConsoleProcess::~ConsoleProcess()
{
    closeAll();
}

long ConsoleProcess::processId() const
{
    return native_->processId == static_cast<DWORD>(-1) ? -1 : static_cast<long>(native_->processId);
}

void ConsoleProcess::closePipes()
{
    Native &n = *native_;
    closeAndClear(n.childStdinRead);
    closeAndClear(n.childStdoutWrite);
    closeAndClear(n.parentStdinWrite);
    closeAndClear(n.parentStdoutRead);
}

void ConsoleProcess::restoreStandardHandles()
{
    Native &n = *native_;
    if (n.stdinSaved)
        SetStdHandle(STD_INPUT_HANDLE, n.savedStdin);
    if (n.stdoutSaved)
        SetStdHandle(STD_OUTPUT_HANDLE, n.savedStdout);
    n.stdinSaved = n.stdoutSaved = false;
}

bool ConsoleProcess::run(const char *commandLine)
{
    closePipes();
    // The host's standard handles are put back on every way out.
    try {
        openPipes();
        if (!startChild(commandLine))
            throw ConsoleProcessError(consoleMessages::createProcess);
    } catch (...) {
        restoreStandardHandles();
        throw;
    }
    restoreStandardHandles();
    return true;
}

void ConsoleProcess::openPipes()
{
    Native &n = *native_;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};

    n.savedStdout = GetStdHandle(STD_OUTPUT_HANDLE);
    n.stdoutSaved = true;
    HANDLE stdoutRead = nullptr;
    if (!CreatePipe(&stdoutRead, &n.childStdoutWrite, &inheritable, 0))
        throw ConsoleProcessError(consoleMessages::stdoutPipe);
    if (!SetStdHandle(STD_OUTPUT_HANDLE, n.childStdoutWrite)) {
        closeAndClear(stdoutRead);
        throw ConsoleProcessError(consoleMessages::redirectStdout);
    }
    keepPrivately(stdoutRead, n.parentStdoutRead);

    n.savedStdin = GetStdHandle(STD_INPUT_HANDLE);
    n.stdinSaved = true;
    HANDLE stdinWrite = nullptr;
    if (!CreatePipe(&n.childStdinRead, &stdinWrite, &inheritable, 0))
        throw ConsoleProcessError(consoleMessages::stdinPipe);
    if (!SetStdHandle(STD_INPUT_HANDLE, n.childStdinRead)) {
        closeAndClear(stdinWrite);
        throw ConsoleProcessError(consoleMessages::redirectStdin);
    }
    keepPrivately(stdinWrite, n.parentStdinWrite);
}

bool ConsoleProcess::startChild(const char *commandLine)
{
    Native &n = *native_;
    n.startupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    n.startupInfo.wShowWindow = SW_HIDE;
    n.startupInfo.hStdInput = n.childStdinRead;
    n.startupInfo.hStdOutput = n.childStdoutWrite;
    n.startupInfo.hStdError = n.childStdoutWrite;

    char command[commandBufferSize];
    DWORD interpreterLength = GetEnvironmentVariableA("ComSpec", command, sizeof command);
    if (interpreterLength == 0 || interpreterLength >= sizeof command)
        return false;
    static constexpr char switches[] = " /A /C ";
    if (interpreterLength + std::strlen(switches) + std::strlen(commandLine) >= sizeof command)
        return false;
    std::strcat(command, " /A");
    std::strcat(command, " /C ");
    std::strcat(command, commandLine);

    if (!CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                        &n.startupInfo, &n.processInfo))
        return false;
    n.processId = n.processInfo.dwProcessId;
    WaitForSingleObject(n.processInfo.hThread, waitMilliseconds);
    // Nothing uses the child's handles after the wait; closeAll finds the
    // process again by its id.
    closeAndClear(n.processInfo.hThread);
    closeAndClear(n.processInfo.hProcess);
    return true;
}

void ConsoleProcess::closeAll()
{
    Native &n = *native_;
    if (n.processId == static_cast<DWORD>(-1))
        return;
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, n.processId);
    if (process) {
        DWORD exitCode;
        BOOL known = GetExitCodeProcess(process, &exitCode);
        CloseHandle(process);
        if (!known)
            return;
    }
    closePipes();
    n.processId = static_cast<DWORD>(-1);
}

} // namespace velk
