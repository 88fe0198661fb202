// A real song from outside the project, through the factory as the
// playback controller asks for it.
#include "imsplayer/ims_player.h"

#include <adplug.h>
#include <silentopl.h>

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "imsplayer/converter_workspace.h"
#include "tests/support/songs.h"
#include "tests/support/temp_dir.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

TEST(ImsPlayerRealSong, GoGoLoadsWithItsBankShowsItsKoreanTitleAndPlaysToItsEnd)
{
    VELK_REQUIRE_REAL_SONG(song, "go-_-go.ims");
    VELK_REQUIRE_REAL_SONG(bank, "go-_-go.bnk");
    test::TempDir dir;
    dir.becomeTemporaryDirectory();
    initWorkspace(nullptr);
    // The song and its bank side by side in a folder of the test's own.
    fs::copy_file(song, dir / "go-_-go.ims");
    fs::copy_file(bank, dir / "go-_-go.bnk");

    CSilentopl opl;
    CProvider_Filesystem files;
    std::unique_ptr<CPlayer> player(CAdPlug::factory((dir / "go-_-go.ims").string(), &opl, imsPlayerList(), files));
    const std::string workspace = workspacePath;
    workspacePath.clear();
    ASSERT_TRUE(player);

    // Johab "tteonabeoryeo!" (leave!) and the author's mark, as EUC-KR.
    EXPECT_EQ(player->gettitle(), "\xB6\xB0\xB3\xAA\xB9\xF6\xB7\xC1!" + std::string(15, ' ') + "-DeuX");
    EXPECT_EQ(player->gettype(), "Adlib Visual Composer");

    double seconds = 0;
    long ticks = 0;
    const long tickLimit = 1000000;
    while (ticks < tickLimit) {
        seconds += 1.0 / player->getrefresh();
        ++ticks;
        if (!player->update())
            break;
    }
    EXPECT_LT(ticks, tickLimit) << "the song never ended";
    EXPECT_NEAR(seconds, 220.0, 15.0);  // about 220 seconds, measured elsewhere
    EXPECT_FALSE(fs::exists(workspace + "$$.rol"));
    EXPECT_FALSE(fs::exists(workspace + "$$.ims"));
}

} // namespace
} // namespace velk
