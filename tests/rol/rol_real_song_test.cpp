// The real song, converted in process and played with its own bank.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "converter/conversion.h"
#include "tests/rol/song_building.h"
#include "tests/support/files.h"
#include "tests/support/songs.h"

namespace velk::test {
namespace {

TEST(RolRealSong, GoGoLasts3905TicksAndAbout220Seconds)
{
    VELK_REQUIRE_REAL_SONG(ims, "go-_-go.ims");
    VELK_REQUIRE_REAL_SONG(bnk, "go-_-go.bnk");
    const converter::ConversionResult converted = converter::convertImsToRol(readFile(ims));
    ASSERT_TRUE(converted.converted()) << converted.reason;

    PlayerRig rig;
    rig.files.add("go.rol", converted.rol);
    rig.files.add("go.bnk", readFile(bnk));
    ASSERT_TRUE(rig.loadFile("go.rol", "go.bnk")) << rol::describe(rig.player.loadStatus());
    const rol::SongData &song = rig.player.song();
    EXPECT_TRUE(song.percussive());
    EXPECT_EQ(song.voices.size(), 11u);
    EXPECT_EQ(song.endTick, 3904);
    EXPECT_EQ(song.ticksPerBeat, 8);
    EXPECT_FLOAT_EQ(song.basicTempo, 132.0f);
    for (const bank::UsedInstrument &used : song.instruments.list)
        EXPECT_NE(used.image.modulator.attackDecay | used.image.modulator.sustainRelease, 0)
            << used.name << " is in the song's bank";

    int ticks = 0;
    while (rig.player.update())
        ASSERT_LT(++ticks, 40000);
    EXPECT_EQ(ticks + 1, 3905) << "ticks 0 to 3904, the last reporting the end";
    const unsigned long length = rig.player.songlength(0);
    EXPECT_GT(length, 219000u);
    EXPECT_LT(length, 221000u);
}

} // namespace
} // namespace velk::test
