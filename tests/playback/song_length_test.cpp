#include "playback/song_length.h"
#include "playback/tick_rate.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tests/playback/recording_chip.h"
#include "tests/playback/scripted_player.h"

namespace velk {
namespace {

using test::players;
using test::resetScriptedPlayers;
using test::Script;
using test::ScriptedPlayer;

class SongLength : public ::testing::Test {
protected:
    void SetUp() override { test::resetRecordingChips(); }
    test::RecordingChip chip{true, true};
};

TEST_F(SongLength, MatchesAdPlugsMeasureOnASilentChipAndRewindsTwice)
{
    Script script;
    script.rates = {{0, 70.0f}, {100, 140.0f}, {250, 18.2f}};
    script.endTick = 400;
    resetScriptedPlayers(script);
    ScriptedPlayer player(&chip);

    const unsigned long measured = measureSongLength(player, 0);
    EXPECT_EQ(players.rewinds, 2);
    EXPECT_EQ(players.lastRewindSubsong, 0);
    EXPECT_EQ(players.ticksOnOwnChip, 0);  // every tick went to the silent chip
    EXPECT_EQ(players.ticksOnOtherChip, 400);

    EXPECT_EQ(measured, player.songlength(0));
    // 99 ticks at 1/70 s, 150 at 1/140 s, 150 at 1/18.2 s.
    EXPECT_NEAR(static_cast<double>(measured), 99 * 1000 / 70.0 + 150 * 1000 / 140.0 + 150 * 1000 / 18.2, 2.0);
}

TEST_F(SongLength, EndlessSongStopsAtTheFirstTickReachingTheLimit)
{
    Script script;
    script.rates = {{0, 64.0f}};  // 15.625 ms ticks: 38400 of them make 600000 ms exactly
    resetScriptedPlayers(script);
    ScriptedPlayer player(&chip);
    EXPECT_EQ(measureSongLength(player, 0), 600000u);
    EXPECT_EQ(measureSongLength(player, 0), player.songlength(0));
}

TEST_F(SongLength, StaysBoundedWhateverRateThePlayerReports)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    // Rates that cannot be used count as the slowest usable rate.
    for (float rate : {0.0f, -70.0f, nan, -infinity}) {
        Script script;
        script.rates = {{0, rate}};
        script.endTick = 11;
        resetScriptedPlayers(script);
        ScriptedPlayer player(&chip);
        EXPECT_EQ(measureSongLength(player, 0), static_cast<unsigned long>(10 * 1000 / minTickRateHz)) << rate;
    }
    // Rates far above any song count as 20 kHz.
    for (float rate : {infinity, 1e30f}) {
        Script script;
        script.rates = {{0, rate}};
        script.endTick = 20001;
        resetScriptedPlayers(script);
        ScriptedPlayer player(&chip);
        EXPECT_NEAR(static_cast<double>(measureSongLength(player, 0)), 1000.0, 1.0) << rate;
    }
    // Endless songs at such rates still end at the limit.
    for (float rate : {0.0f, -1.0f, nan}) {
        Script script;
        script.rates = {{0, rate}};
        resetScriptedPlayers(script);
        ScriptedPlayer player(&chip);
        const unsigned long measured = measureSongLength(player, 0);
        EXPECT_GE(measured, 600000u) << rate;
        EXPECT_LE(measured, 601000u) << rate;
    }
}

} // namespace
} // namespace velk
