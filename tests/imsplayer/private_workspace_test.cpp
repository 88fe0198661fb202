// The workspace on a system whose temporary folder every user shares: files,
// links and folders that another user plants where the module looks are
// never run, read, written through or followed, and the song still plays,
// or the load fails without touching anything. Another user's files are
// made by giving them to "nobody"; the test of an ordinary user runs in a
// child process that takes that user's id.
#include <fprovide.h>
#include <silentopl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "imsplayer/converter_image.h"
#include "imsplayer/converter_workspace.h"
#include "imsplayer/ims_player.h"
#include "rol/rol_writer.h"
#include "tests/imsplayer/sample_songs.h"
#include "tests/imsplayer/test_programs.h"
#include "tests/support/temp_dir.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

constexpr uid_t otherUser = 65534;  // nobody
constexpr gid_t otherGroup = 65534;

std::string converterImageBytes()
{
    return std::string(reinterpret_cast<const char *>(converterImage), converterImageSize);
}

std::string privateFolderIn(const fs::path &base)
{
    return (base / ("in_velk-" + std::to_string(geteuid()))).string();
}

struct stat statusOf(const std::string &path)
{
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
}

class PrivateWorkspaceTest : public ::testing::Test {
public:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "making another user's files needs root";
        dir_.becomeTemporaryDirectory();
        fs::create_directory(music_);
        song_ = (music_ / "tune.ims").string();
        test::writeFile(song_, test::makeSong());
        test::writeFile((music_ / "tune.bnk").string(), test::makeBank(1));
        initWorkspace(nullptr);
    }
    void TearDown() override { workspacePath.clear(); }

    // A program that leaves a mark when run: what a planted converter would do.
    std::string plantProgram(const std::string &path, uid_t owner = otherUser)
    {
        const std::string script = "#!/bin/sh\necho ran >> '" + mark_ + "'\n";
        test::writeFile(path, script);
        chmod(path.c_str(), 0755);
        chown(path.c_str(), owner, otherGroup);
        return script;
    }
    // Another user's file, holding `bytes`.
    void plantFile(const std::string &path, const std::string &bytes)
    {
        test::writeFile(path, bytes);
        chown(path.c_str(), otherUser, otherGroup);
    }
    bool plantedProgramRan() const { return fs::exists(mark_); }

    // Loads the song; true when it was read with its own title.
    bool loadSong()
    {
        CSilentopl opl;
        CProvider_Filesystem files;
        ImsPlayer player(&opl);
        return player.load(song_, files) && player.gettitle() == test::titleOf() && !player.song().voices.empty();
    }

    test::TempDir dir_;
    fs::path music_ = dir_.path() / "music";
    std::string song_;
    std::string mark_ = (dir_.path() / "planted program ran").string();
};

TEST_F(PrivateWorkspaceTest, TheWorkspaceIsAFolderOfTheUsersOwnThatQuitRemoves)
{
    const std::string folder = privateFolderIn(dir_.path());
    EXPECT_EQ(workspacePath, folder + "/");
    EXPECT_FALSE(fs::exists(folder));  // made by the first load that needs it

    ASSERT_TRUE(loadSong());
    const struct stat info = statusOf(folder);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_uid, geteuid());
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(statusOf(folder + "/ruz2avu.exe").st_mode & 07777, 0700u);

    quitWorkspace();
    EXPECT_FALSE(fs::exists(folder));

    // Without TMPDIR the temporary folder is /tmp; the user's runtime folder
    // comes first where the session has one.
    unsetenv("TMPDIR");
    EXPECT_EQ(initialWorkspacePath(), privateFolderIn("/tmp") + "/");
    const fs::path runtime = dir_.path() / "run";
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(initialWorkspacePath(), privateFolderIn(runtime) + "/");

    // A runtime folder that cannot hold one gives way to the temporary folder.
    setenv("TMPDIR", dir_.path().c_str(), 1);
    initWorkspace(nullptr);
    ASSERT_TRUE(loadSong());
    EXPECT_EQ(workspacePath, folder + "/");
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    initWorkspace(nullptr);
    ASSERT_TRUE(loadSong());
    EXPECT_EQ(workspacePath, privateFolderIn(runtime) + "/");
    quitWorkspace();
    EXPECT_TRUE(fs::is_empty(runtime));
}

TEST_F(PrivateWorkspaceTest, FilesPlantedInTheTemporaryFolderAreNeitherRunNorRead)
{
    const fs::path shared = dir_.path();
    const std::string converter = plantProgram((shared / "ruz2avu.exe").string());
    const std::string ims = test::makeSong("planted");
    plantFile((shared / "$$.ims").string(), ims);
    rol::Song other;
    other.voices.resize(rol::percussiveVoices);
    const std::string rol = test::bytesToString(rol::writeSong(other));
    plantFile((shared / "$$.rol").string(), rol);

    ASSERT_TRUE(loadSong());
    EXPECT_FALSE(plantedProgramRan());
    EXPECT_EQ(test::readFile((shared / "ruz2avu.exe").string()), converter);
    EXPECT_EQ(test::readFile((shared / "$$.ims").string()), ims);
    EXPECT_EQ(test::readFile((shared / "$$.rol").string()), rol);
}

TEST_F(PrivateWorkspaceTest, AWorkspaceNameTakenByAnythingButAPrivateFolderIsPassedOver)
{
    const std::string named = privateFolderIn(dir_.path());
    const fs::path elsewhere = dir_.path() / "elsewhere";
    struct Taker {
        const char *what;
        void (*take)(const std::string &named, const fs::path &elsewhere);
    };
    const Taker takers[] = {
        {"another user's folder", [](const std::string &n, const fs::path &) {
             fs::create_directory(n);
             fs::permissions(n, fs::perms::owner_all);
             chown(n.c_str(), otherUser, otherGroup);
         }},
        {"the user's folder open to others", [](const std::string &n, const fs::path &) {
             fs::create_directory(n);
             fs::permissions(n, fs::perms::all);
         }},
        {"the user's folder open to the group", [](const std::string &n, const fs::path &) {
             fs::create_directory(n);
             fs::permissions(n, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
         }},
        {"a link to a private folder", [](const std::string &n, const fs::path &e) {
             fs::permissions(e, fs::perms::owner_all);
             fs::create_directory_symlink(e, n);
         }},
        {"a file", [](const std::string &n, const fs::path &) { test::writeFile(n, "taken"); }},
    };
    for (const Taker &taker : takers) {
        SCOPED_TRACE(taker.what);
        fs::create_directory(elsewhere);
        taker.take(named, elsewhere);
        // Whatever folder the name leads to holds a converter and a ROL song.
        const bool folder = fs::is_directory(named);
        if (folder) {
            plantProgram(named + "/ruz2avu.exe");
            plantFile(named + "/$$.rol", "planted");
        }
        initWorkspace(nullptr);

        ASSERT_TRUE(loadSong());
        EXPECT_FALSE(plantedProgramRan());
        // A fresh folder beside it, the user's alone, took its place.
        EXPECT_EQ(workspacePath.rfind(named + "-", 0), 0u) << workspacePath;
        const struct stat fresh = statusOf(workspacePath.substr(0, workspacePath.size() - 1));
        EXPECT_EQ(fresh.st_mode & 07777, 0700u);
        EXPECT_EQ(fresh.st_uid, geteuid());
        if (folder) {
            EXPECT_EQ(test::readFile(named + "/$$.rol"), "planted");
            EXPECT_TRUE(fs::exists(named + "/ruz2avu.exe"));
        }

        // Quit removes the fresh folder, and nothing of the taken name.
        const std::string freshPath = workspacePath;
        quitWorkspace();
        EXPECT_FALSE(fs::exists(freshPath));
        EXPECT_TRUE(fs::exists(fs::symlink_status(named)));
        // Quit with the taken name as the workspace touches nothing in it.
        workspacePath = named + "/";
        quitWorkspace();
        if (folder) {
            EXPECT_EQ(test::readFile(named + "/$$.rol"), "planted");
        }
        fs::remove_all(named);
        fs::remove_all(elsewhere);
    }
}

TEST_F(PrivateWorkspaceTest, AConverterThatIsNotTheUsersAloneIsReplacedNeverRun)
{
    ASSERT_TRUE(prepareWorkspace());
    const std::string converter = workspacePath + converterFileName;
    const std::string target = (dir_.path() / "script").string();
    struct Case {
        const char *what;
        void (*plant)(PrivateWorkspaceTest &, const std::string &converter, const std::string &target);
    };
    const Case cases[] = {
        {"another user's", [](PrivateWorkspaceTest &t, const std::string &c, const std::string &) {
             t.plantProgram(c);
         }},
        {"writable by the group", [](PrivateWorkspaceTest &t, const std::string &c, const std::string &) {
             t.plantProgram(c, geteuid());
             chmod(c.c_str(), 0775);
         }},
        {"writable by others", [](PrivateWorkspaceTest &t, const std::string &c, const std::string &) {
             t.plantProgram(c, geteuid());
             chmod(c.c_str(), 0757);
         }},
        {"a link to the user's own program", [](PrivateWorkspaceTest &t, const std::string &c, const std::string &s) {
             t.plantProgram(s, geteuid());
             fs::create_symlink(s, c);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.plant(*this, converter, target);
        ASSERT_TRUE(loadSong());
        EXPECT_FALSE(plantedProgramRan());
        const struct stat info = statusOf(converter);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_uid, geteuid());
        EXPECT_EQ(test::readFile(converter), converterImageBytes());
        if (fs::exists(target)) {
            EXPECT_EQ(test::readFile(target).rfind("#!/bin/sh", 0), 0u) << "written through the link";
        }
        fs::remove(converter);
        fs::remove(target);
    }
}

TEST_F(PrivateWorkspaceTest, LinksInPlaceOfTheSongFilesAreNeitherFollowedNorKept)
{
    ASSERT_TRUE(prepareWorkspace());
    const std::string stagedVictim = (dir_.path() / "staged victim").string();
    const std::string rolVictim = (dir_.path() / "rol victim").string();
    test::writeFile(stagedVictim, "keep me");
    test::writeFile(rolVictim, "keep me too");
    fs::create_symlink(stagedVictim, workspacePath + stagedSongFileName);
    fs::create_symlink(rolVictim, workspacePath + rolSongFileName);

    ASSERT_TRUE(loadSong());
    EXPECT_EQ(test::readFile(stagedVictim), "keep me");
    EXPECT_EQ(test::readFile(rolVictim), "keep me too");
    EXPECT_FALSE(fs::exists(fs::symlink_status(workspacePath + stagedSongFileName)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(workspacePath + rolSongFileName)));
}

TEST_F(PrivateWorkspaceTest, WithNoPrivateFolderToBeHadTheLoadFailsTouchingNothing)
{
    // A temporary "directory" that is a file: nothing can be made in it.
    const fs::path notAFolder = dir_.path() / "not a folder";
    test::writeFile(notAFolder.string(), "file");
    setenv("TMPDIR", notAFolder.c_str(), 1);
    initWorkspace(nullptr);
    EXPECT_FALSE(loadSong());
    EXPECT_EQ(test::readFile(notAFolder.string()), "file");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
}

// As an ordinary user in a shared, sticky temporary folder, where another
// user (root here) took the workspace name and planted a converter both
// beside it and in it.
TEST_F(PrivateWorkspaceTest, AnOrdinaryUserInASharedFolderRunsOnlyTheModulesConverter)
{
    const fs::path shared = dir_.path() / "shared";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    fs::permissions(dir_.path(), fs::perms::all);  // the child writes its mark here
    const fs::path taken = shared / ("in_velk-" + std::to_string(otherUser));
    fs::create_directory(taken);
    const std::string planted = plantProgram((taken / "ruz2avu.exe").string(), 0);
    plantProgram((shared / "ruz2avu.exe").string(), 0);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Exit codes say which step failed.
        setenv("TMPDIR", shared.c_str(), 1);
        if (setgid(otherGroup) != 0 || setuid(otherUser) != 0)
            _exit(10);
        initWorkspace(nullptr);
        if (!loadSong())
            _exit(11);
        if (workspacePath.rfind(taken.string() + "-", 0) != 0)
            _exit(12);
        const std::string workspace = workspacePath;
        quitWorkspace();
        _exit(fs::exists(workspace) ? 13 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(plantedProgramRan());
    EXPECT_EQ(test::readFile((taken / "ruz2avu.exe").string()), planted);
    // Nothing of the child's is left in the shared folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(shared), fs::directory_iterator()), 2);
}

} // namespace
} // namespace velk
