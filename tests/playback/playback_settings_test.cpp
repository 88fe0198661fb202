#include "playback/playback_settings.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

// The only test that touches the module's instance: it must still be as
// static initialisation left it.
TEST(PlaybackSettings, ModuleInstanceStartsZeroAndTakesTheDefaults)
{
    const PlaybackSettings::Values &current = playbackSettings.current;
    EXPECT_EQ(current.sampleRate, 0);
    EXPECT_FALSE(current.use16Bit || current.stereo || current.stopAtSongEnd);
    EXPECT_EQ(current.priorityIndex, 0);

    playbackSettings.setDefaults();
    EXPECT_EQ(current.sampleRate, 44100);
    EXPECT_TRUE(current.use16Bit && current.stereo && current.stopAtSongEnd);
    EXPECT_EQ(current.priorityIndex, 4);
}

TEST(PlaybackSettings, PendingValuesTakeEffectOnlyOnApply)
{
    PlaybackSettings settings;
    settings.setDefaults();
    settings.pending = {22050, false, false, false, 1};
    EXPECT_EQ(settings.current.sampleRate, 44100);

    settings.apply();
    EXPECT_EQ(settings.current.sampleRate, 22050);
    EXPECT_FALSE(settings.current.use16Bit || settings.current.stereo || settings.current.stopAtSongEnd);
    EXPECT_EQ(settings.current.priorityIndex, 1);

    // Defaults come back whatever was pending.
    settings.setDefaults();
    EXPECT_EQ(settings.current.sampleRate, 44100);
    EXPECT_EQ(settings.pending.priorityIndex, 4);
}

} // namespace
} // namespace velk
