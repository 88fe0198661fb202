#include "playback/render_thread.h"
#include "playback/tick_rate.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/playback/failing_allocation.h"
#include "tests/playback/playback_fixture.h"

namespace velk::test {
namespace {

using Calls = std::vector<std::string>;

constexpr int sampleRate = 44100;
constexpr int blocksPerMinute = 60 * sampleRate / 576 + 1;

Script songOf(float rateHz, int endTick = 1000000000)
{
    Script script;
    script.rates = {{0, rateHz}};
    script.endTick = endTick;
    return script;
}

class RenderThread : public PlaybackTest {
protected:
    // Renders at least `blocks` blocks as fast as the thread can, then stops.
    void renderBlocks(Script script, int blocks)
    {
        host.set([](HostKnobs &k) { k.countBlocksOnly = true; });
        host.clearRecord();
        start(std::move(script));
        ASSERT_TRUE(host.waitFor([&](const HostRecord &r) { return r.writes >= blocks; },
                                 std::chrono::seconds(120)));
        controller.stop();
    }

    // With an output that holds `blocks` blocks and plays nothing by itself,
    // the thread fills it and waits for room. Returns once it waits.
    void waitUntilOutputFull(int blocks)
    {
        ASSERT_TRUE(host.waitFor([&](const HostRecord &r) {
            return r.bufferedBytes == std::int64_t{blocks} * blockBytes16BitStereo && r.canWritePolls >= 2;
        }));
        const int polls = host.read([](const HostRecord &r) { return r.canWritePolls; });
        ASSERT_TRUE(host.waitFor([&](const HostRecord &r) { return r.canWritePolls > polls; }));
    }
    void useSmallOutput(int blocks)
    {
        host.set([&](HostKnobs &k) {
            k.keepsUp = false;
            k.capacityBytes = std::int64_t{blocks} * blockBytes16BitStereo;
        });
    }

    // From a full output: pause, let the waiting block through, and wait
    // until the thread holds. Returns the number of flushes so far.
    int pauseFromFullOutput()
    {
        const int flushes = countStarting("Flush(");
        controller.pause();
        host.playOut(std::int64_t{1} << 40);
        EXPECT_TRUE(waitForFlushes(flushes + 1));
        return flushes + 1;
    }
    bool waitForFlushes(int n)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (countStarting("Flush(") < n) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    std::string lastFlush()
    {
        return host.read([](const HostRecord &r) {
            for (auto c = r.calls.rbegin(); c != r.calls.rend(); ++c)
                if (c->rfind("Flush(", 0) == 0)
                    return *c;
            return std::string();
        });
    }
};

// Chunks cover each block exactly, in multiples of 4 frames.
void expectChunksFillBlocks(const std::vector<int> &chunks)
{
    std::int64_t inBlock = 0;
    for (int chunk : chunks) {
        ASSERT_GT(chunk, 0);
        ASSERT_EQ(chunk % 4, 0);
        inBlock += chunk;
        ASSERT_LE(inBlock, 576);
        if (inBlock == 576)
            inBlock = 0;
    }
}

TEST_F(RenderThread, TicksKeepAFixedRateWithoutDriftOverTenMinutes)
{
    renderBlocks(songOf(70.0f), 10 * blocksPerMinute);  // a tick each 630 frames

    expectChunksFillBlocks(chips.chunks);
    const std::vector<std::int64_t> &ticks = chips.tickFrames;
    ASSERT_GE(ticks.size(), 42000u);
    // Tick k (from 0) falls due when frame 630 k has been rendered and is
    // carried out at most 4 frames later, however long the song runs.
    for (std::size_t k = 0; k < ticks.size(); ++k) {
        const std::int64_t due = 630 * static_cast<std::int64_t>(k);
        ASSERT_GT(ticks[k], due) << "tick " << k;
        ASSERT_LE(ticks[k], due + 4) << "tick " << k;
    }
    // Ticks per second equal the rate: one tick for each 630 frames rendered.
    EXPECT_EQ(static_cast<std::int64_t>(ticks.size()), (chips.frames + 629) / 630);
}

TEST_F(RenderThread, ChangingRatesTakeEffectAtTheTickThatReportsThem)
{
    Script song;
    song.rates = {{0, 70.0f}, {2000, 140.0f}, {6000, 50.0f}, {8000, 11025.0f}};
    renderBlocks(song, 7700);  // tick 8000 comes in block 7438

    expectChunksFillBlocks(chips.chunks);
    const std::vector<std::int64_t> &ticks = chips.tickFrames;
    ASSERT_GT(ticks.size(), 8100u);
    // Tick i (from 0) leaves i + 1 ticks done, and the rate reported then
    // times the way to the next tick: sampleRate / rate frames, within the
    // 4-frame grain, with no error building up while the rate stays. (The
    // first way at a new rate still holds the old rate's overshoot.)
    double drift = 0.0;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        const float rate = song.rateAfter(static_cast<int>(i));
        if (rate != song.rateAfter(static_cast<int>(i) - 1)) {
            drift = 0.0;
            continue;
        }
        drift += static_cast<double>(ticks[i] - ticks[i - 1]) - sampleRate / rate;
        ASSERT_LT(std::fabs(drift), 4.0) << "tick " << i;
    }
    // At 11025 Hz each tick brings the balance to exactly 0, and the chunk
    // after a zero balance is 4 frames: a tick every 4 frames.
    for (std::size_t i = 8000; i < ticks.size(); ++i)
        ASSERT_EQ(ticks[i] - ticks[i - 1], 4) << "tick " << i;
    std::int64_t frame = 0;
    for (int chunk : chips.chunks) {
        if (frame >= ticks[7999]) {
            ASSERT_EQ(chunk, 4) << "frame " << frame;
        }
        frame += chunk;
    }
}

TEST_F(RenderThread, UnusableRatesTickAtTheNearestUsableRate)
{
    // No rate, or none at all: the slowest usable rate.
    const double slowTickFrames = sampleRate / minTickRateHz;
    const int slowBlocks = static_cast<int>(4 * slowTickFrames / 576) + 1;
    renderBlocks(songOf(std::numeric_limits<float>::quiet_NaN()), slowBlocks);
    ASSERT_GE(chips.tickFrames.size(), 4u);
    for (std::size_t k = 1; k < chips.tickFrames.size(); ++k)
        EXPECT_NEAR(static_cast<double>(chips.tickFrames[k] - chips.tickFrames[k - 1]), slowTickFrames, 4.0);
    expectChunksFillBlocks(chips.chunks);

    // Far too fast: 20000 ticks a second, about two for each frame.
    resetRecordingChips();
    renderBlocks(songOf(std::numeric_limits<float>::infinity(), 400000), 200);
    const double expected = static_cast<double>(chips.frames) * 20000 / sampleRate;
    EXPECT_NEAR(static_cast<double>(chips.tickFrames.size()), expected, 20.0);
    expectChunksFillBlocks(chips.chunks);

    resetRecordingChips();
    renderBlocks(songOf(-70.0f), slowBlocks);
    ASSERT_GE(chips.tickFrames.size(), 4u);
    for (std::size_t k = 1; k < chips.tickFrames.size(); ++k)
        EXPECT_NEAR(static_cast<double>(chips.tickFrames[k] - chips.tickFrames[k - 1]), slowTickFrames, 4.0);
}

TEST_F(RenderThread, FrameSizesFollowTheFormat)
{
    struct Format {
        bool use16Bit, stereo;
        int frameSize;
    };
    for (Format format : {Format{false, false, 1}, Format{true, true, 4}, Format{true, false, 2}}) {
        SCOPED_TRACE(format.frameSize);
        resetRecordingChips();
        host.clearRecord();
        settings.current.use16Bit = format.use16Bit;
        settings.current.stereo = format.stereo;
        host.set([](HostKnobs &k) { k.keepAudio = true; });
        const int channels = format.stereo ? 2 : 1;
        const int bits = format.use16Bit ? 16 : 8;
        start(songOf(70.0f));
        ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.writes >= 20; }));
        controller.stop();

        const std::string open = "Open(44100," + std::to_string(channels) + "," + std::to_string(bits) + ",-1,-1)";
        EXPECT_EQ(count(open), 1);
        EXPECT_EQ(count("SetInfo(120000,44," + std::to_string(channels) + ",1)"), 1);
        host.read([&](const HostRecord &r) {
            EXPECT_EQ(r.dspBitsPerSample, bits);
            EXPECT_EQ(r.dspChannels, channels);
            EXPECT_EQ(r.dspRate, 44100);
            EXPECT_EQ(r.saChannels, channels);
            EXPECT_EQ(r.saBitsPerSample, bits);
            EXPECT_EQ(r.vsaChannels, channels);
            EXPECT_EQ(r.vsaBitsPerSample, bits);
            for (int size : r.writeSizes)
                EXPECT_EQ(size, 576 * format.frameSize);
            // The chunks join up: frame after frame, with no gap or overlap.
            for (std::size_t i = 0; i < r.audio.size(); ++i)
                if (static_cast<std::uint8_t>(r.audio[i]) != patternByte(static_cast<std::int64_t>(i) / format.frameSize))
                    return ADD_FAILURE() << "byte " << i;
        });
        host.set([](HostKnobs &k) { k.keepAudio = false; });
    }
}

TEST_F(RenderThread, EmulatedChipRendersEightBitMonoAndSixteenBitStereo)
{
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide);
        host.clearRecord();
        settings.current.use16Bit = wide;
        settings.current.stereo = wide;
        PlaybackController emulated(host.module, settings, scriptedPlayerList());
        resetScriptedPlayers(songOf(70.0f));
        ASSERT_EQ(emulated.play("song.tst"), 0);
        ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.writes >= 10; }));
        emulated.stop();
        host.read([&](const HostRecord &r) {
            EXPECT_EQ(r.writeSizes.front(), wide ? 2304 : 576);
            EXPECT_EQ(r.dspBitsPerSample, wide ? 16 : 8);
            EXPECT_EQ(r.dspChannels, wide ? 2 : 1);
        });
    }
}

TEST_F(RenderThread, DspChainDecidesHowManyFramesAreWritten)
{
    // Twice as many: the buffer has room for the echo, and all of it is written.
    host.set([](HostKnobs &k) {
        k.dsp = Dsp::twice;
        k.keepAudio = true;
    });
    start(songOf(70.0f));
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.writes >= 5; }));
    controller.stop();
    host.read([](const HostRecord &r) {
        for (int size : r.writeSizes)
            EXPECT_EQ(size, 2 * blockBytes16BitStereo);
        EXPECT_EQ(r.audio.substr(0, blockBytes16BitStereo), r.audio.substr(blockBytes16BitStereo, blockBytes16BitStereo));
    });

    // None: no wait for room (there is none), an empty write, and both
    // visualisation calls all the same.
    host.set([](HostKnobs &k) {
        k.dsp = Dsp::none;
        k.room = false;
        k.keepAudio = false;
    });
    host.clearRecord();
    start(songOf(70.0f));
    ASSERT_TRUE(host.waitFor([&](const HostRecord &r) { return r.writes >= 5; }));
    controller.stop();
    host.read([&](const HostRecord &r) {
        for (int size : r.writeSizes)
            EXPECT_EQ(size, 0);
        EXPECT_EQ(r.canWritePolls, r.writes);
        EXPECT_EQ(r.saCalls, r.writes);
        EXPECT_EQ(r.vsaCalls, r.writes);
    });

    // A host without a DSP chain gets the block as rendered.
    host.module.dsp_dosamples = nullptr;
    host.set([](HostKnobs &k) { k.room = true; });
    host.clearRecord();
    start(songOf(70.0f));
    ASSERT_TRUE(host.waitFor([&](const HostRecord &r) { return r.writes >= 3; }));
    controller.stop();
    host.read([](const HostRecord &r) {
        for (int size : r.writeSizes)
            EXPECT_EQ(size, blockBytes16BitStereo);
    });
}

TEST_F(RenderThread, PauseFlushesHoldsAndResumesAtTheTimeHeard)
{
    useSmallOutput(4);
    host.set([](HostKnobs &k) { k.keepAudio = true; });
    start(songOf(100.0f));
    waitUntilOutputFull(4);
    const int rewinds = players.rewinds;
    const int flushes = pauseFromFullOutput();
    const float position = controller.positionMs();

    // Four blocks played (52 ms), the fifth written: the output drops the
    // fifth and restarts at the time heard, then holds.
    const Calls paused = callsFrom("GetOutputTime=52");
    ASSERT_GE(paused.size(), 2u);
    EXPECT_EQ(paused.back(), "Flush(52)");
    letThreadRun();
    EXPECT_EQ(countStarting("Flush("), flushes);
    EXPECT_EQ(host.read([](const HostRecord &r) { return r.writes; }), 5);
    EXPECT_EQ(controller.positionMs(), position);
    EXPECT_EQ(players.rewinds, rewinds);

    // On resuming, the song goes on from the time heard, not from past the
    // dropped block: the player is stepped back to the first 10 ms tick at
    // or after 52 ms and the output restarts there.
    controller.unpause();
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.writes >= 9; }));
    EXPECT_EQ(countStarting("Flush("), flushes + 1);
    EXPECT_EQ(lastFlush(), "Flush(60)");
    EXPECT_EQ(players.rewinds, rewinds + 1);
    // The chip's output goes on frame after frame from before the pause.
    host.read([](const HostRecord &r) {
        for (std::size_t i = 0; i < r.audio.size(); ++i)
            if (static_cast<std::uint8_t>(r.audio[i]) != patternByte(static_cast<std::int64_t>(i) / 4))
                return ADD_FAILURE() << "byte " << i;
    });
}

TEST_F(RenderThread, SeekStepsThePlayerAndFlushesAtTheNewPosition)
{
    useSmallOutput(4);
    start(songOf(100.0f, 400));  // 10 ms ticks; the 400th reports the end
    waitUntilOutputFull(4);
    int flushes = pauseFromFullOutput();
    int rewinds = players.rewinds;

    auto seekFromPause = [&](int target) {
        controller.setOutputTime(target);
        controller.unpause();
        EXPECT_TRUE(waitForFlushes(++flushes));
        std::string flush = lastFlush();
        waitUntilOutputFull(4);
        flushes = pauseFromFullOutput();
        return flush;
    };

    // Equal: neither rewinds nor steps; only flushes at that time.
    const int position = static_cast<int>(controller.positionMs());
    ASSERT_EQ(position % 10, 0);
    const int ticks = players.ticks;
    EXPECT_EQ(seekFromPause(position), "Flush(" + std::to_string(position) + ")");
    EXPECT_EQ(players.rewinds, rewinds);

    // Forward: ticks on from where it is, to the first that reaches the target.
    const int here = static_cast<int>(controller.positionMs());
    EXPECT_EQ(seekFromPause(here + 1005), "Flush(" + std::to_string(here + 1010) + ")");
    EXPECT_EQ(players.rewinds, rewinds);
    EXPECT_GE(players.ticks, ticks + 101);

    // Back: rewinds to the subsong and steps from 0.
    EXPECT_EQ(seekFromPause(55), "Flush(60)");
    EXPECT_EQ(players.rewinds, ++rewinds);
    EXPECT_EQ(players.lastRewindSubsong, 0);

    // Past the end: stops where update reports the end (399 ticks of 10 ms).
    // The seek leaves the end to rendering: one more block, then draining.
    host.set([](HostKnobs &k) { k.playOutPerIsPlaying = 1 << 20; });
    controller.setOutputTime(100000);
    controller.unpause();
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.endOfSongPosts == 1; }));
    const Calls end = callsFrom("Flush(3990)");
    EXPECT_EQ(end, (Calls{"Flush(3990)", "dsp(576)", "Write(2304)", "SAAddPCMData", "VSAAddPCMData",
                          "IsPlaying=0", "Post(1026,0,0)"}));
}

TEST_F(RenderThread, SeekAskedForDuringASeekIsCarriedOutNext)
{
    useSmallOutput(4);
    start(songOf(100.0f));
    waitUntilOutputFull(4);
    const int flushes = pauseFromFullOutput();

    // The host asks again while the thread steps towards the first target.
    Script withRequest = songOf(100.0f);
    withRequest.onTick = [this](int ticksDone) {
        if (ticksDone == 250)
            controller.setOutputTime(1000);
    };
    script = withRequest;
    controller.setOutputTime(5000);
    controller.unpause();
    ASSERT_TRUE(waitForFlushes(flushes + 2));
    const Calls calls = host.calls();
    std::vector<std::string> seekFlushes;
    for (const std::string &call : calls)
        if (call.rfind("Flush(", 0) == 0)
            seekFlushes.push_back(call);
    ASSERT_GE(seekFlushes.size(), 3u);
    EXPECT_EQ(seekFlushes[1], "Flush(5000)");
    EXPECT_EQ(seekFlushes[2], "Flush(1000)");
}

TEST_F(RenderThread, EndOfSongIsPostedOnceAfterTheOutputHasPlayedOut)
{
    host.set([](HostKnobs &k) {
        k.keepsUp = false;
        k.playOutPerIsPlaying = blockBytes16BitStereo;
    });
    std::vector<int> ticksAtBlocks;
    host.set([&](HostKnobs &k) { k.onDsp = [&] { ticksAtBlocks.push_back(players.ticksOnOwnChip); }; });
    start(songOf(100.0f, 20));  // the 20th tick reports the end, in the 15th block
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.endOfSongPosts >= 1; }));
    letThreadRun();

    const Calls calls = host.calls();
    EXPECT_EQ(count("Post(1026,0,0)"), 1);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(Calls(calls.end() - 2, calls.end()), (Calls{"IsPlaying=0", "Post(1026,0,0)"}));
    // No block after the one in which the end was reported; the output
    // played each written block out before the post.
    ASSERT_GE(ticksAtBlocks.size(), 2u);
    EXPECT_GE(ticksAtBlocks.back(), 20);
    EXPECT_LT(ticksAtBlocks[ticksAtBlocks.size() - 2], 20);
    host.read([&](const HostRecord &r) {
        EXPECT_EQ(r.writes, static_cast<int>(ticksAtBlocks.size()));
        EXPECT_EQ(r.isPlayingPolls, r.writes);
    });
    // The controller keeps the song until the host stops it.
    EXPECT_EQ(controller.isPlaying(), 1);
    controller.stop();
    EXPECT_FALSE(controller.threadWasTerminated());
}

TEST_F(RenderThread, WithoutStopAtSongEndRenderingGoesOn)
{
    settings.current.stopAtSongEnd = false;
    start(songOf(100.0f, 5));
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.writes >= 50; }));
    controller.stop();
    host.read([](const HostRecord &r) {
        EXPECT_EQ(r.endOfSongPosts, 0);
        EXPECT_EQ(r.isPlayingPolls, 0);
    });
}

TEST_F(RenderThread, StopEndsTheThreadWhilePausedOrWaitingForRoom)
{
    // At 2 Hz stop would wait 3.5 s before terminating: the thread must end
    // by itself long before.
    start(songOf(2.0f));
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.writes >= 1; }));
    controller.pause();
    ASSERT_TRUE(waitForFlushes(1));
    controller.stop();
    EXPECT_FALSE(controller.threadWasTerminated());
    EXPECT_EQ(host.calls().back(), "Close");

    host.clearRecord();
    host.set([](HostKnobs &k) { k.room = false; });
    start(songOf(2.0f));
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.canWritePolls >= 3; }));
    controller.stop();
    EXPECT_FALSE(controller.threadWasTerminated());
    const Calls calls = host.calls();
    EXPECT_EQ(Calls(calls.end() - 2, calls.end()), (Calls{"SAVSADeInit", "Close"}));
    EXPECT_EQ(host.read([](const HostRecord &r) { return r.writes; }), 0);

    // A seek far ahead in an endless song would step for minutes: stop ends it.
    host.set([](HostKnobs &k) { k.room = true; });
    start(songOf(70.0f));
    controller.pause();
    ASSERT_TRUE(waitForFlushes(1));
    controller.setOutputTime(2000000000);
    controller.unpause();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (players.ticks < 1000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(players.ticks, 1000);
    controller.stop();
    EXPECT_FALSE(controller.threadWasTerminated());
    EXPECT_LT(players.ticks, 10000000);  // it stopped stepping, far short of the target
}

TEST_F(RenderThread, WithoutASampleBufferTheThreadAsksTheHostToStop)
{
    failNextNothrowArrayAllocation(2 * 576 * 4);
    start(songOf(70.0f));
    ASSERT_TRUE(host.waitFor([](const HostRecord &r) { return r.endOfSongPosts == 1; }));
    EXPECT_TRUE(nothrowArrayAllocationFailed());
    controller.stop();
    host.read([](const HostRecord &r) {
        EXPECT_EQ(r.writes, 0);
        EXPECT_EQ(r.dspCalls, 0);
    });
    EXPECT_FALSE(controller.threadWasTerminated());
}

} // namespace
} // namespace velk::test
