// A controller wired to a recording host, scripted players and the
// recording chip, stopped after each test.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "playback/playback_controller.h"
#include "playback/playback_settings.h"
#include "tests/playback/recording_chip.h"
#include "tests/playback/recording_host.h"
#include "tests/playback/scripted_player.h"

namespace velk::test {

constexpr int blockBytes16BitStereo = 576 * 4;

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetScriptedPlayers();
        resetRecordingChips();
        settings.setDefaults();
    }
    void TearDown() override { controller.stop(); }

    // Starts a song with this script; the song must start.
    void start(Script songScript, const char *fileName = "song.tst")
    {
        resetScriptedPlayers(std::move(songScript));
        ASSERT_EQ(controller.play(fileName), 0);
    }

    int count(const std::string &call)
    {
        return host.read([&](const HostRecord &r) {
            int n = 0;
            for (const std::string &c : r.calls)
                n += c == call;
            return n;
        });
    }
    int countStarting(const std::string &prefix)
    {
        return host.read([&](const HostRecord &r) {
            int n = 0;
            for (const std::string &c : r.calls)
                n += c.compare(0, prefix.size(), prefix) == 0;
            return n;
        });
    }
    // The calls from the first one equal to `from` on.
    std::vector<std::string> callsFrom(const std::string &from)
    {
        std::vector<std::string> calls = host.calls();
        for (std::size_t i = 0; i < calls.size(); ++i)
            if (calls[i] == from)
                return {calls.begin() + static_cast<std::ptrdiff_t>(i), calls.end()};
        return {};
    }

    // Gives the render thread time to do what it should not; the checks
    // after it hold whatever the timing.
    static void letThreadRun() { std::this_thread::sleep_for(std::chrono::milliseconds(40)); }

    RecordingHost host;
    PlaybackSettings settings;
    PlaybackController controller{host.module, settings, scriptedPlayerList(), filesystemProvider(), createRecordingChip};
};

} // namespace velk::test
