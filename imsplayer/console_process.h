// Runs one command line through the system's command interpreter in a
// console that is never shown, its standard input, output and error on pipes
// that nobody reads, and waits a bounded time for it.
#pragma once

#include <memory>
#include <stdexcept>

namespace velk {

// A failure of ConsoleProcess::run, carrying its fixed message text.
class ConsoleProcessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace consoleMessages {
inline constexpr char stdoutPipe[] = "Stdout pipe creation failed\n";
inline constexpr char redirectStdout[] = "Redirecting STDOUT failed\n";
inline constexpr char duplicateHandle[] = "DuplicateHandle failed\n";
inline constexpr char stdinPipe[] = "Stdin pipe creation failed\n";
inline constexpr char redirectStdin[] = "Redirecting Stdin failed\n";
inline constexpr char createProcess[] = "Create process failed";
} // namespace consoleMessages

class ConsoleProcess {
public:
    // How long run waits for the interpreter before it goes on regardless.
    static constexpr int waitMilliseconds = 3000;
    // The interpreter's path, its switches and the command must fit in this.
    static constexpr std::size_t commandBufferSize = 4096;

    ConsoleProcess();
    virtual ~ConsoleProcess();
    ConsoleProcess(const ConsoleProcess &) = delete;
    ConsoleProcess &operator=(const ConsoleProcess &) = delete;

    // Runs `commandLine` (on Windows: ComSpec + " /A" + " /C " + commandLine;
    // elsewhere: /bin/sh -c commandLine) and waits until it ends, at most
    // waitMilliseconds. Returns true; a failure raises ConsoleProcessError.
    // The process's standard handles are the same afterwards as before, on
    // every path. A child that outlives the wait is left running.
    bool run(const char *commandLine);

    // Releases the pipes of the last run once its child has gone (or its
    // state can be read); a child that cannot be asked keeps them.
    void closeAll();

    // Process id of the last child started, or -1.
    long processId() const;

private:
    struct Native;
    void openPipes();
    bool startChild(const char *commandLine);
    void closePipes();
    void restoreStandardHandles();

    std::unique_ptr<Native> native_;
};

// The module's one runner, alive from static initialisation to unload.
extern ConsoleProcess consoleProcess;

} // namespace velk
