#include "playback/playback_controller.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/playback/playback_fixture.h"

namespace velk::test {
namespace {

using Calls = std::vector<std::string>;

Script songOf(float rateHz, int endTick)
{
    Script script;
    script.rates = {{0, rateHz}};
    script.endTick = endTick;
    return script;
}

using PlaybackController_ = PlaybackTest;

TEST_F(PlaybackController_, PlayPreparesTheHostInOrderThenRendersAndStopTearsDown)
{
    start(songOf(64.0f, 641));  // 640 ticks of 15.625 ms: 10000 ms

    const Calls calls = host.calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 5),
              (Calls{"Open(44100,2,16,-1,-1)", "SetVolume(-666)", "SAVSAInit(250,44100)", "VSASetInfo(44100,2)",
                     "SetInfo(120000,44,2,1)"}));
    EXPECT_EQ(controller.isPlaying(), 1);
    EXPECT_EQ(controller.isPaused(), 0);
    EXPECT_EQ(controller.getLength(), 10000);
    EXPECT_EQ(controller.seekTargetMs(), -1);
    EXPECT_EQ(controller.outputLatencyMs(), 250);
    EXPECT_EQ(controller.fileName(), "song.tst");
    ASSERT_NE(controller.player(), nullptr);
    EXPECT_EQ(controller.player()->gettitle(), "scripted");
    EXPECT_NE(controller.opl(), nullptr);
    EXPECT_TRUE(controller.hasThread());

    // One load through the provider given; measured on a silent chip, with
    // a rewind before and after, then rewound once more for playing.
    EXPECT_EQ(players.loads, 1);
    EXPECT_EQ(players.provider, &filesystemProvider());
    EXPECT_EQ(players.loadedName, "song.tst");
    EXPECT_EQ(players.ticksOnOtherChip, 641);
    EXPECT_EQ(players.rewinds, 3);
    EXPECT_EQ(players.lastRewindSubsong, 0);

    // Blocks flow: DSP, write, then both visualisation feeds.
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.writes >= 3; }));
    const Calls blocks = callsFrom("dsp(576)");
    ASSERT_GE(blocks.size(), 8u);
    EXPECT_EQ(Calls(blocks.begin(), blocks.begin() + 8),
              (Calls{"dsp(576)", "Write(2304)", "SAAddPCMData", "VSAAddPCMData", "dsp(576)", "Write(2304)",
                     "SAAddPCMData", "VSAAddPCMData"}));
    // The visualisation gets the written time, 576 frames later each block.
    const std::vector<int> times = host.read([](const HostRecord &r) { return r.saTimes; });
    EXPECT_EQ(times[0], 13);  // 576 / 44.1 ms
    EXPECT_EQ(times[1], 26);
    EXPECT_GT(players.ticksOnOwnChip, 0);

    controller.stop();
    const Calls after = host.calls();
    EXPECT_EQ(Calls(after.end() - 2, after.end()), (Calls{"SAVSADeInit", "Close"}));
    EXPECT_EQ(controller.isPlaying(), 0);
    EXPECT_EQ(controller.player(), nullptr);
    EXPECT_EQ(controller.opl(), nullptr);
    EXPECT_FALSE(controller.hasThread());
    EXPECT_FALSE(controller.threadWasTerminated());
    EXPECT_EQ(players.alive, 0);
    EXPECT_EQ(chips.alive, 0);
    EXPECT_EQ(controller.getLength(), 10000);  // kept after the song

    // Nothing more reaches the host once stop has returned.
    letThreadRun();
    EXPECT_EQ(host.calls(), after);
}

TEST_F(PlaybackController_, FailuresReturnTheirResultAndLeaveTheControllerIdle)
{
    start(songOf(64.0f, 321));  // 5000 ms
    controller.stop();
    const std::size_t callsBefore = host.calls().size();
    auto expectIdle = [&](const char *fileName) {
        delete players.abandoned;
        players.abandoned = nullptr;
        EXPECT_EQ(controller.isPlaying(), 0);
        EXPECT_EQ(controller.player(), nullptr);
        EXPECT_EQ(controller.opl(), nullptr);
        EXPECT_FALSE(controller.hasThread());
        EXPECT_EQ(players.alive, 0);
        EXPECT_EQ(chips.alive, 0);
        EXPECT_EQ(controller.fileName(), fileName);
        EXPECT_EQ(controller.getLength(), 5000);  // the last song's
    };

    // No player accepts the file: the factory tries it twice (by extension,
    // then each player), and the chip goes.
    resetScriptedPlayers();
    EXPECT_EQ(controller.play("reject.tst"), -1);
    EXPECT_EQ(players.loads, 2);
    expectIdle("reject.tst");
    EXPECT_EQ(host.calls().size(), callsBefore);

    // A load that throws (out of memory) is any other failure.
    resetScriptedPlayers();
    EXPECT_EQ(controller.play("throw.tst"), 2);
    expectIdle("throw.tst");
    EXPECT_EQ(host.calls().size(), callsBefore);

    // The output cannot be opened: Open is the only host call.
    resetScriptedPlayers();
    host.set([](HostKnobs &k) { k.openResult = -1; });
    EXPECT_EQ(controller.play("song.tst"), 2);
    EXPECT_EQ(players.created, 1);
    expectIdle("song.tst");
    const Calls calls = host.calls();
    ASSERT_EQ(calls.size(), callsBefore + 1);
    EXPECT_EQ(calls.back(), "Open(44100,2,16,-1,-1)");
}

TEST_F(PlaybackController_, NoChipMeansNoLoadAndResultTwo)
{
    resetScriptedPlayers();
    // Settings never put into effect: a sample rate of 0 cannot make a chip.
    PlaybackSettings unset;
    PlaybackController beforeDefaults(host.module, unset, scriptedPlayerList(), filesystemProvider(),
                                      createRecordingChip);
    EXPECT_EQ(beforeDefaults.play("song.tst"), 2);
    EXPECT_EQ(chips.created, 0);

    PlaybackController withoutChip(host.module, settings, scriptedPlayerList(), filesystemProvider(),
                                   [](int, bool, bool) -> Copl * { return nullptr; });
    EXPECT_EQ(withoutChip.play("song.tst"), 2);
    EXPECT_EQ(withoutChip.fileName(), "song.tst");
    EXPECT_EQ(withoutChip.isPlaying(), 0);
    EXPECT_EQ(withoutChip.getLength(), 0);
    EXPECT_EQ(players.loads, 0);
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(PlaybackController_, StopWhileIdleDoesNothing)
{
    controller.stop();
    EXPECT_TRUE(host.calls().empty());
    start(songOf(70.0f, 100000));
    controller.stop();
    controller.stop();
    EXPECT_EQ(count("Close"), 1);
    EXPECT_EQ(count("SAVSADeInit"), 1);
}

TEST_F(PlaybackController_, PlayWhilePlayingStopsTheOldSongFirst)
{
    start(songOf(70.0f, 100000), "first.tst");
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.writes >= 1; }));
    ASSERT_EQ(controller.play("second.tst"), 0);

    EXPECT_EQ(players.created, 2);
    EXPECT_EQ(players.alive, 1);
    EXPECT_EQ(players.mostAlive, 1);  // the first was gone before the second was made
    EXPECT_EQ(chips.created, 2);
    EXPECT_EQ(chips.alive, 1);
    EXPECT_EQ(controller.fileName(), "second.tst");
    // The old output is closed before the new one opens.
    const Calls calls = callsFrom("SAVSADeInit");
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 3), (Calls{"SAVSADeInit", "Close", "Open(44100,2,16,-1,-1)"}));
    EXPECT_EQ(count("Open(44100,2,16,-1,-1)"), 2);
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.writes >= 2; }));
}

TEST_F(PlaybackController_, SeekWhileIdleIsStoredAndPlayClearsIt)
{
    controller.setOutputTime(5000);
    EXPECT_EQ(controller.seekTargetMs(), 5000);
    start(songOf(70.0f, 100000));
    EXPECT_EQ(controller.seekTargetMs(), -1);
    EXPECT_EQ(count("Flush(5000)"), 0);
}

TEST_F(PlaybackController_, VolumePanAndOutputTimeGoToTheOutput)
{
    start(songOf(70.0f, 100000));
    controller.setVolume(200);
    controller.setPan(-40);
    EXPECT_EQ(count("SetVolume(200)"), 1);
    EXPECT_EQ(count("SetPan(-40)"), 1);
    controller.pause();
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return !r.calls.empty() && r.calls.back().rfind("Flush(", 0) == 0; }));
    const int heard = controller.getOutputTime();
    EXPECT_EQ(host.calls().back(), "GetOutputTime=" + std::to_string(heard));
}

TEST(PlaybackControllerTables, PriorityTableAndStopWait)
{
    const int expected[] = {-15, -2, -1, 0, 1, 2, 15};
    for (int index = 0; index < 7; ++index)
        EXPECT_EQ(renderThreadPriority(index), expected[index]);
    EXPECT_EQ(renderThreadPriority(-1), 0);
    EXPECT_EQ(renderThreadPriority(7), 0);

    EXPECT_EQ(renderThreadStopWaitMs(70.0f), 100);
    EXPECT_EQ(renderThreadStopWaitMs(35.0f), 200);
    EXPECT_EQ(renderThreadStopWaitMs(2.0f), 3500);
    EXPECT_EQ(renderThreadStopWaitMs(1000.0f), 100);  // never shorter than a few polls
    EXPECT_EQ(renderThreadStopWaitMs(0.0f), 7000);
    EXPECT_EQ(renderThreadStopWaitMs(std::nanf("")), 7000);
}

} // namespace
} // namespace velk::test
