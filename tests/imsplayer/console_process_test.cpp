#include "imsplayer/console_process.h"

#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/imsplayer/test_programs.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velk {
namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
void terminate(DWORD pid)
{
    if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
        TerminateProcess(p, 1);
        WaitForSingleObject(p, 5000);
        CloseHandle(p);
    }
}

// Ends the interpreter and the programs it started.
void terminateTree(DWORD root)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    if (snapshot != INVALID_HANDLE_VALUE) {
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
            if (entry.th32ParentProcessID == root)
                terminate(entry.th32ProcessID);
        CloseHandle(snapshot);
    }
    terminate(root);
}
#endif

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The process's standard handles, to compare before and after a run.
struct StandardHandles {
#ifdef _WIN32
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    bool operator==(const StandardHandles &o) const { return in == o.in && out == o.out && err == o.err; }
#else
    struct stat files[3]{};
    int results[3]{fstat(0, &files[0]), fstat(1, &files[1]), fstat(2, &files[2])};
    bool operator==(const StandardHandles &o) const
    {
        for (int i = 0; i < 3; ++i)
            if (results[i] != o.results[i] || files[i].st_dev != o.files[i].st_dev ||
                files[i].st_ino != o.files[i].st_ino)
                return false;
        return true;
    }
#endif
};

// Runs the test inside its own folder as current directory, where the
// helper program writes what it saw; ends a child left running.
class ConsoleProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
    }
    void TearDown() override
    {
        if (leftRunning_ > 0) {
#ifdef _WIN32
            terminateTree(static_cast<DWORD>(leftRunning_));
#else
            ::kill(-static_cast<pid_t>(leftRunning_), SIGKILL);  // its process group
#endif
        }
        std::filesystem::current_path(previous_);
    }

    std::string recorderCommand(const std::string &arguments) const
    {
        const std::string command = "\"" + test::programBeside("record_args") + "\" " + arguments;
#ifdef _WIN32
        // cmd /C drops the first and the last quote of a command that holds
        // more than two: one pair around the whole keeps the rest intact.
        return "\"" + command + "\"";
#else
        return command;
#endif
    }

    test::TempDir dir_;
    std::filesystem::path previous_;
    long leftRunning_ = -1;
};

#ifdef _WIN32
// Sets ComSpec for the test's lifetime.
class ComSpecOverride {
public:
    explicit ComSpecOverride(const char *value)
    {
        char buffer[4096];
        DWORD length = GetEnvironmentVariableA("ComSpec", buffer, sizeof buffer);
        had_ = length > 0 && length < sizeof buffer;
        if (had_)
            saved_.assign(buffer, length);
        SetEnvironmentVariableA("ComSpec", value);
    }
    ~ComSpecOverride() { SetEnvironmentVariableA("ComSpec", had_ ? saved_.c_str() : nullptr); }

private:
    std::string saved_;
    bool had_ = false;
};

TEST_F(ConsoleProcessTest, WithoutComSpecNothingStartsAndTheHandlesComeBack)
{
    ComSpecOverride unset(nullptr);
    ConsoleProcess runner;
    const StandardHandles before;
    try {
        runner.run(recorderCommand("x").c_str());
        FAIL() << "run should have raised";
    } catch (const ConsoleProcessError &e) {
        EXPECT_STREQ(e.what(), "Create process failed");
    }
    EXPECT_TRUE(StandardHandles{} == before);
    EXPECT_EQ(runner.processId(), -1);
    EXPECT_FALSE(std::filesystem::exists("recorded.txt"));
}

TEST_F(ConsoleProcessTest, TheInterpreterGetsComSpecThenSwitchesThenTheCommand)
{
    const std::string interpreter = test::programBeside("record_args");
    ComSpecOverride fake(interpreter.c_str());
    ConsoleProcess runner;
    const std::string command = "\"C:\\some dir\\ruz2avu.exe\" $$.ims";
    EXPECT_TRUE(runner.run(command.c_str()));
    auto lines = test::readLines("recorded.txt");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "run");
    EXPECT_EQ(lines[1], interpreter + " /A /C " + command);
    EXPECT_NE(runner.processId(), -1);
}
#endif

TEST_F(ConsoleProcessTest, TheCommandRunsInTheCurrentDirectoryWithItsArguments)
{
    ConsoleProcess runner;
    const StandardHandles before;
#ifdef _WIN32
    EXPECT_TRUE(runner.run(recorderCommand("first \"two words\" $$.ims").c_str()));
#else
    EXPECT_TRUE(runner.run(recorderCommand("first 'two words' '$$.ims'").c_str()));
#endif
    const std::size_t firstArgument = test::recordedArgumentsStart;
    EXPECT_TRUE(StandardHandles{} == before);
    auto lines = test::readLines("recorded.txt");
    ASSERT_EQ(lines.size(), firstArgument + 3);
    EXPECT_EQ(lines[firstArgument], "first");
    EXPECT_EQ(lines[firstArgument + 1], "two words");
    EXPECT_EQ(lines[firstArgument + 2], "$$.ims");

    // The child has ended: closeAll lets go of the pipes and the id.
    EXPECT_NE(runner.processId(), -1);
    runner.closeAll();
    EXPECT_EQ(runner.processId(), -1);
}

TEST_F(ConsoleProcessTest, AQuickChildEndsTheWaitAndASlowOneIsLeftAfterThreeSeconds)
{
    ConsoleProcess runner;
    auto start = Clock::now();
    runner.run(recorderCommand("quick").c_str());
    EXPECT_LT(secondsSince(start), 2.9);  // it did not sit out the whole wait
    EXPECT_EQ(test::readLines("recorded.txt").size(), test::recordedArgumentsStart + 1);

    const StandardHandles before;
    start = Clock::now();
    runner.run(recorderCommand("sleep 10000").c_str());
    const double waited = secondsSince(start);
    leftRunning_ = runner.processId();
    EXPECT_TRUE(StandardHandles{} == before);
    EXPECT_GE(waited, 2.9);
    EXPECT_LT(waited, 9.0);
    // Still asleep: it has not recorded its start yet.
    EXPECT_EQ(test::readLines("recorded.txt").size(), test::recordedArgumentsStart + 1);
}

TEST_F(ConsoleProcessTest, ACommandTooLongForTheBufferStartsNothing)
{
    ConsoleProcess runner;
    const StandardHandles before;
    const std::string command = recorderCommand(std::string(ConsoleProcess::commandBufferSize, 'x'));
    try {
        runner.run(command.c_str());
        FAIL() << "run should have raised";
    } catch (const ConsoleProcessError &e) {
        EXPECT_STREQ(e.what(), "Create process failed");
    }
    EXPECT_TRUE(StandardHandles{} == before);
    EXPECT_EQ(runner.processId(), -1);
}

} // namespace
} // namespace velk
