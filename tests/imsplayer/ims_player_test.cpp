#include "imsplayer/ims_player.h"

#include <adplug.h>
#include <fprovide.h>
#include <silentopl.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imsplayer/console_process.h"
#include "imsplayer/converter_workspace.h"
#include "rol/rol_writer.h"
#include "tests/imsplayer/sample_songs.h"
#include "tests/imsplayer/test_programs.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace velk {
namespace {

namespace fs = std::filesystem;

// Remembers every path the player opens through the provider.
class RecordingProvider : public CProvider_Filesystem {
public:
    binistream *open(std::string filename) const override
    {
        opened.push_back(filename);
        return CProvider_Filesystem::open(filename);
    }
    mutable std::vector<std::string> opened;
};

using test::bytesToString;
using test::makeBank;
using test::makeSong;

constexpr std::uint8_t songBankMark = 1;
constexpr std::uint8_t standardBankMark = 2;

class ImsPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_.becomeTemporaryDirectory();
        initWorkspace(nullptr);  // the test program carries the converter resource
        ASSERT_TRUE(prepareWorkspace());
        fs::create_directory(music_);
        songPath_ = (music_ / "tune.ims").string();
        test::writeFile(songPath_, makeSong());
    }
    void TearDown() override { workspacePath.clear(); }

    std::unique_ptr<CPlayer> loadThroughFactory(const std::string &path)
    {
        return std::unique_ptr<CPlayer>(CAdPlug::factory(path, &opl_, imsPlayerList(), provider_));
    }

    std::string workspaceFile(const char *name) const { return workspacePath + name; }
    bool exists(const char *name) const { return fs::exists(workspaceFile(name)); }

    // A stand-in converter in the workspace that records its runs and
    // writes no ROL song.
    std::string placeRecordingConverter()
    {
        fs::copy_file(test::programBeside("record_args"), workspaceFile(converterFileName));
        return test::readFile(workspaceFile(converterFileName));
    }
    int recordedRuns() const
    {
        int runs = 0;
        for (const auto &line : test::readLines(workspaceFile("recorded.txt")))
            runs += line == "run";
        return runs;
    }

    static int bankMarkOf(CPlayer &player)
    {
        const auto &used = dynamic_cast<ImsPlayer &>(player).song().instruments.list;
        return used.empty() ? -1 : used[0].image.voiceNumber;
    }

    test::TempDir dir_;
    fs::path music_ = dir_.path() / "music folder";
    std::string songPath_;
    CSilentopl opl_;
    RecordingProvider provider_;
};

TEST_F(ImsPlayerTest, TheSongsOwnBankIsPreferredOverTheStandardBank)
{
    test::writeFile((music_ / "tune.bnk").string(), makeBank(songBankMark));
    test::writeFile((music_ / "standard.bnk").string(), makeBank(standardBankMark));

    auto player = loadThroughFactory(songPath_);
    ASSERT_TRUE(player);
    EXPECT_EQ(bankMarkOf(*player), songBankMark);
    EXPECT_EQ(player->gettitle(), "\xB0\xA1song");
    EXPECT_EQ(player->gettype(), "Adlib Visual Composer");
    EXPECT_EQ(player->getsubsongs(), 1u);
    EXPECT_EQ(player->getinstruments(), 0u);
    EXPECT_EQ(player->getauthor(), "");
    EXPECT_EQ(provider_.opened, (std::vector<std::string>{workspaceFile(rolSongFileName), (music_ / "tune.bnk").string()}));

    // The converter was written from the resource and stays; the song files go.
    EXPECT_GT(fs::file_size(workspaceFile(converterFileName)), 1000u);
    EXPECT_FALSE(exists(rolSongFileName));
    EXPECT_FALSE(exists(stagedSongFileName));
}

TEST_F(ImsPlayerTest, TheStandardBankServesASongWithoutItsOwn)
{
    test::writeFile((music_ / "standard.bnk").string(), makeBank(standardBankMark));
    auto player = loadThroughFactory(songPath_);
    ASSERT_TRUE(player);
    EXPECT_EQ(bankMarkOf(*player), standardBankMark);
    EXPECT_FALSE(exists(rolSongFileName));
    EXPECT_FALSE(exists(stagedSongFileName));
}

TEST_F(ImsPlayerTest, WithoutABankBothTriesFailAndTheSecondGetsTheSongsPath)
{
    EXPECT_FALSE(loadThroughFactory(songPath_));
    // Each try converted the song again and looked for the same bank: the
    // second was handed the song's own path, not a bank path made from it.
    const std::string rol = workspaceFile(rolSongFileName), standard = (music_ / "standard.bnk").string();
    EXPECT_EQ(provider_.opened, (std::vector<std::string>{rol, standard, rol, standard}));
    EXPECT_FALSE(exists(rolSongFileName));
    EXPECT_FALSE(exists(stagedSongFileName));
}

TEST_F(ImsPlayerTest, AConverterAlreadyThereRunsUnchangedAndAFailedConversionRunsTwice)
{
    test::writeFile((music_ / "tune.bnk").string(), makeBank(songBankMark));
    const std::string converter = placeRecordingConverter();

    EXPECT_FALSE(loadThroughFactory(songPath_));
    EXPECT_EQ(recordedRuns(), 2);
    auto lines = test::readLines(workspaceFile("recorded.txt"));
    EXPECT_EQ(lines.at(test::recordedArgumentsStart), "$$.ims");
    EXPECT_EQ(test::readFile(workspaceFile(converterFileName)), converter);  // not rewritten
    EXPECT_FALSE(exists(rolSongFileName));
    EXPECT_FALSE(exists(stagedSongFileName));
}

TEST_F(ImsPlayerTest, ASongTheConverterRejectsFailsCleanly)
{
    test::writeFile((music_ / "tune.bnk").string(), makeBank(songBankMark));
    ims::SongSource bad;
    bad.events = {ims::raw({0x9B, 60, 100, 0})};  // voice 11
    test::writeFile(songPath_, bytesToString(ims::writeSong(bad)));

    EXPECT_FALSE(loadThroughFactory(songPath_));
    const std::string rol = workspaceFile(rolSongFileName);
    EXPECT_EQ(provider_.opened, (std::vector<std::string>{rol, rol}));
    EXPECT_FALSE(exists(rolSongFileName));
    EXPECT_FALSE(exists(stagedSongFileName));
}

TEST_F(ImsPlayerTest, AReadOnlyStagedCopyLeftBehindIsReplaced)
{
    test::writeFile((music_ / "tune.bnk").string(), makeBank(songBankMark));
    const std::string staged = workspaceFile(stagedSongFileName);
    test::writeFile(staged, makeSong("stale"));
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesA(staged.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
#else
    ASSERT_EQ(chmod(staged.c_str(), 0444), 0);
#endif

    auto player = loadThroughFactory(songPath_);
    ASSERT_TRUE(player);
    EXPECT_EQ(player->gettitle(), "\xB0\xA1song");
    EXPECT_FALSE(exists(stagedSongFileName));
    EXPECT_FALSE(exists(rolSongFileName));
}

TEST_F(ImsPlayerTest, AnUnreadableSongFailsTwiceWithoutRunningTheConverter)
{
    placeRecordingConverter();
    fs::create_directory(music_ / "folder.ims");
    for (const fs::path &unreadable : {music_ / "missing.ims", music_ / "folder.ims"}) {
        provider_.opened.clear();
        EXPECT_FALSE(loadThroughFactory(unreadable.string()));
        // Both tries reached the ROL song and found none.
        const std::string rol = workspaceFile(rolSongFileName);
        EXPECT_EQ(provider_.opened, (std::vector<std::string>{rol, rol}));
        EXPECT_FALSE(exists(stagedSongFileName));
        EXPECT_FALSE(exists(rolSongFileName));
    }
    EXPECT_EQ(recordedRuns(), 0);

    ImsPlayer player(&opl_);
    EXPECT_FALSE(player.load((music_ / "missing.ims").string(), provider_));
    EXPECT_EQ(player.gettitle(), "");
}

TEST_F(ImsPlayerTest, AStaleRolSongIsNeverTakenForTheSongsOwn)
{
    test::writeFile((music_ / "tune.bnk").string(), makeBank(songBankMark));
    // A readable ROL song left from an earlier load, and a converter that
    // writes nothing: the load must not play the stale song.
    rol::Song stale;
    stale.voices.resize(rol::percussiveVoices);
    test::writeFile(workspaceFile(rolSongFileName), bytesToString(rol::writeSong(stale)));
    placeRecordingConverter();

    ImsPlayer player(&opl_);
    EXPECT_FALSE(player.load(songPath_, provider_));
    EXPECT_EQ(recordedRuns(), 1);
    EXPECT_FALSE(exists(rolSongFileName));
}

TEST_F(ImsPlayerTest, NoConverterAndNoWayToWriteItTouchesNothing)
{
    test::writeFile((music_ / "tune.bnk").string(), makeBank(songBankMark));
    const fs::path nowhere = dir_.path() / "no such folder";
#ifdef _WIN32
    workspacePath = nowhere.string() + "\\";
#else
    // No private folder can be made in a temporary directory that is missing.
    quitWorkspace();
    setenv("TMPDIR", nowhere.c_str(), 1);
    initWorkspace(nullptr);
#endif
    EXPECT_FALSE(loadThroughFactory(songPath_));
    EXPECT_TRUE(provider_.opened.empty());
    EXPECT_FALSE(fs::exists(nowhere));
}

#ifndef _WIN32
// A folder whose path, with the converter's name, is just short enough for
// the file system and too long for the runner's command buffer.
std::string folderTooDeepForTheCommand(const fs::path &base)
{
    const std::size_t wanted = ConsoleProcess::commandBufferSize - 20 - std::string(converterFileName).size();
    fs::path path = base;
    while (path.string().size() + 1 < wanted) {
        const std::size_t room = wanted - path.string().size() - 1;
        path /= std::string(std::min<std::size_t>(room, 200), 'd');
        fs::create_directory(path);
    }
    fs::permissions(path, fs::perms::owner_all);  // private, or a fresh workspace replaces it
    return path.string() + "/";
}
#endif

TEST_F(ImsPlayerTest, AFailingRunnerFailsTheLoadAndRestoresTheProcess)
{
    test::writeFile((music_ / "tune.bnk").string(), makeBank(songBankMark));
    const fs::path current = fs::current_path();
    ImsPlayer player(&opl_);
    bool loaded = true;
#ifdef _WIN32
    ASSERT_EQ(extractResource(converterResourceId, workspaceFile(converterFileName)), 1);
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE);
    char comSpec[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("ComSpec", comSpec, sizeof comSpec);
    SetEnvironmentVariableA("ComSpec", nullptr);  // "Create process failed"
    EXPECT_NO_THROW(loaded = player.load(songPath_, provider_));
    SetEnvironmentVariableA("ComSpec", length ? comSpec : nullptr);
    EXPECT_EQ(GetStdHandle(STD_INPUT_HANDLE), in);
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), out);
#else
    // The converter's path fills the command buffer: "Create process failed".
    workspacePath = folderTooDeepForTheCommand(dir_.path());
    ASSERT_EQ(extractResource(converterResourceId, workspaceFile(converterFileName)), 1);
    EXPECT_NO_THROW(loaded = player.load(songPath_, provider_));
#endif
    EXPECT_FALSE(loaded);
    EXPECT_EQ(fs::current_path(), current);
    EXPECT_EQ(player.gettitle(), "\xB0\xA1song");  // read before the run
    EXPECT_FALSE(exists(stagedSongFileName));
    EXPECT_FALSE(exists(rolSongFileName));
}

TEST(ImsPlayerList, HoldsTheImsPlayerAlone)
{
    const CPlayers &list = imsPlayerList();
    ASSERT_EQ(list.size(), 1u);
    const CPlayerDesc *entry = list.front();
    EXPECT_EQ(entry->filetype, "Iyagi Music Song");
    EXPECT_STREQ(entry->get_extension(0), ".ims");
    EXPECT_EQ(entry->get_extension(1), nullptr);
    EXPECT_EQ(&imsPlayerList(), &list);

    CSilentopl opl;
    std::unique_ptr<CPlayer> player(entry->factory(&opl));
    ASSERT_TRUE(dynamic_cast<ImsPlayer *>(player.get()));
    EXPECT_EQ(player->gettitle(), "");
}

} // namespace
} // namespace velk
