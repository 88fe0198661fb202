#include "imsplayer/converter_workspace.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "imsplayer/console_process.h"
#include "tests/imsplayer/test_programs.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imsplayer/converter_image.h"
#endif

namespace velk {
namespace {

namespace fs = std::filesystem;

// The converter resource as the module carries it.
std::string converterResourceBytes()
{
#ifdef _WIN32
    // Korean, as the plug-in's resource script declares it.
    HRSRC found = FindResourceExA(nullptr, "IDR_FILE", MAKEINTRESOURCEA(converterResourceId),
                                  MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN));
    if (!found)
        return {};
    auto *bytes = static_cast<const char *>(LockResource(LoadResource(nullptr, found)));
    return std::string(bytes, SizeofResource(nullptr, found));
#else
    return std::string(reinterpret_cast<const char *>(converterImage), converterImageSize);
#endif
}

class ConverterWorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_.becomeTemporaryDirectory();
        initWorkspace(nullptr);  // the test program carries the resource itself
        ASSERT_TRUE(prepareWorkspace());
    }
    void TearDown() override { workspacePath.clear(); }

    std::string converterPath() const { return workspacePath + converterFileName; }

    test::TempDir dir_;
};

TEST_F(ConverterWorkspaceTest, ThePathIsTheTemporaryDirectoryEndingInItsSeparator)
{
#ifdef _WIN32
    const std::string workspace = dir_.withSeparator();
#else
    // A folder of the module's own in it, named for the user.
    const std::string workspace = dir_.withSeparator() + "in_velk-" + std::to_string(geteuid()) + "/";
#endif
    EXPECT_EQ(workspacePath, workspace);
    EXPECT_EQ(moduleInstance, nullptr);
    EXPECT_EQ(converterPath(), workspace + "ruz2avu.exe");

#ifndef _WIN32
    // Without TMPDIR, or with one that lacks the separator.
    const std::string saved = std::getenv("TMPDIR");
    setenv("TMPDIR", dir_.path().c_str(), 1);
    EXPECT_EQ(systemTemporaryPath(), dir_.withSeparator());
    unsetenv("TMPDIR");
    EXPECT_EQ(systemTemporaryPath(), "/tmp/");
    setenv("TMPDIR", saved.c_str(), 1);
#endif
}

TEST_F(ConverterWorkspaceTest, TheConverterIsWrittenWholeAndQuitRemovesIt)
{
    const std::string image = converterResourceBytes();
    ASSERT_GT(image.size(), 1000u) << "the test program carries no converter resource";

    ASSERT_EQ(extractResource(converterResourceId, converterPath()), 1);
    EXPECT_EQ(test::readFile(converterPath()), image);
#ifndef _WIN32
    struct stat info;
    ASSERT_EQ(stat(converterPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);  // the user's alone
#endif

    // Replaced whole when asked again.
    test::writeFile(converterPath(), std::string(image.size() + 100, 'x'));
    ASSERT_EQ(extractResource(converterResourceId, converterPath()), 1);
    EXPECT_EQ(test::readFile(converterPath()), image);

    quitWorkspace();
    EXPECT_FALSE(fs::exists(converterPath()));
    quitWorkspace();  // nothing there: no effect, nothing reported
    EXPECT_FALSE(fs::exists(converterPath()));

    // After a new Init the converter is written again.
    initWorkspace(nullptr);
    ASSERT_TRUE(prepareWorkspace());
    ASSERT_EQ(extractResource(converterResourceId, converterPath()), 1);
    EXPECT_EQ(test::readFile(converterPath()), image);
}

#ifdef _WIN32
TEST_F(ConverterWorkspaceTest, QuitLeavesTheSongFilesAlone)
{
    test::writeFile(workspacePath + stagedSongFileName, "ims");
    test::writeFile(workspacePath + rolSongFileName, "rol");
    ASSERT_EQ(extractResource(converterResourceId, converterPath()), 1);
    quitWorkspace();
    EXPECT_FALSE(fs::exists(converterPath()));
    EXPECT_TRUE(fs::exists(workspacePath + stagedSongFileName));
    EXPECT_TRUE(fs::exists(workspacePath + rolSongFileName));
}
#else
TEST_F(ConverterWorkspaceTest, QuitRemovesThePrivateFolderWithWhatTheModuleLeftThere)
{
    test::writeFile(workspacePath + stagedSongFileName, "ims");
    test::writeFile(workspacePath + rolSongFileName, "rol");
    ASSERT_EQ(extractResource(converterResourceId, converterPath()), 1);
    quitWorkspace();
    EXPECT_FALSE(fs::exists(workspacePath));
    EXPECT_TRUE(fs::exists(dir_.path()));

    // Anything else in it is not the module's: the folder stays with it.
    ASSERT_TRUE(prepareWorkspace());
    test::writeFile(workspacePath + "notes.txt", "mine");
    quitWorkspace();
    EXPECT_EQ(test::readFile(workspacePath + "notes.txt"), "mine");
}
#endif

TEST_F(ConverterWorkspaceTest, NoResourceOrNoFolderWritesNothing)
{
    EXPECT_EQ(extractResource(converterResourceId + 1, converterPath()), 0);
    EXPECT_FALSE(fs::exists(converterPath()));
    const std::string nowhere = workspacePath + "missing" + (dir_.withSeparator().back()) + converterFileName;
    EXPECT_EQ(extractResource(converterResourceId, nowhere), 0);
    EXPECT_FALSE(fs::exists(nowhere));
}

#ifndef _WIN32
// A disk that fills up mid-write leaves no partial converter behind.
TEST_F(ConverterWorkspaceTest, AShortWriteRemovesThePartialFile)
{
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = extractResource(converterResourceId, converterPath());
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(converterPath()));
}
#endif

TEST_F(ConverterWorkspaceTest, TheCommandLineSurvivesBlanksAndSignsInThePath)
{
    // A workspace whose path needs quoting, with a stand-in converter that
    // records its arguments.
#ifdef _WIN32
    const std::string folder = "work space (1) & more";
#else
    const std::string folder = "work space (1) & 'more' $HOME";
#endif
    const fs::path workspace = dir_.path() / folder;
    fs::create_directory(workspace);
    const std::string workspaceText = workspace.string() + dir_.withSeparator().back();
    fs::copy_file(test::programBeside("record_args"), workspaceText + converterFileName);

    const fs::path previous = fs::current_path();
    fs::current_path(workspace);
    ConsoleProcess runner;
    runner.run(converterCommandLine(workspaceText).c_str());
    fs::current_path(previous);

    auto lines = test::readLines(workspaceText + "recorded.txt");
    ASSERT_FALSE(lines.empty()) << "the converter did not run";
    EXPECT_EQ(lines.back(), "$$.ims");
    EXPECT_EQ(lines.size(), test::recordedArgumentsStart + 1);
}

} // namespace
} // namespace velk
