#include "rol/rol_writer.h"

#include <gtest/gtest.h>

namespace velk::rol {
namespace {

TEST(RolWriter, HeaderFieldsSitWhereTheReaderLooks)
{
    Song song;
    song.ticksPerBeat = 8;
    song.beatsPerMeasure = 3;
    song.mode = modePercussive;
    song.basicTempo = 132.0f;
    song.title[0] = 'T';
    song.tempo.push_back({16, 2.0f});
    song.voices.resize(11);
    song.voices[3].timeOfLastNote = 8;
    song.voices[3].notes = {{60, 4}, {0, 4}};
    song.voices[10].volumes.push_back({0, 1.0f});

    Bytes out = writeSong(song);
    ASSERT_GE(out.size(), header::size);
    EXPECT_EQ(getU16(&out[header::majorVersion]), 0u);
    EXPECT_EQ(getU16(&out[header::minorVersion]), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&out[header::signature])), "\\roll\\default");
    EXPECT_EQ(getU16(&out[header::ticksPerBeat]), 8u);
    EXPECT_EQ(getU16(&out[header::beatsPerMeasure]), 3u);
    EXPECT_EQ(getU16(&out[header::editScaleY]), 48u);
    EXPECT_EQ(getU16(&out[header::editScaleX]), 56u);
    EXPECT_EQ(out[header::mode], modePercussive);
    EXPECT_EQ(getU16(&out[converterArea::timesOfLastNote + 2 * 3]), 8u);
    EXPECT_EQ(getU16(&out[converterArea::volumeCounts + 2 * 10]), 1u);
    EXPECT_EQ(getU16(&out[converterArea::tempoCount]), 1u);
    EXPECT_EQ(out[converterArea::title], 'T');
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&out[converterArea::tempoTrackName])), "Tempo");
    EXPECT_EQ(getF32(&out[header::basicTempo]), 132.0f);
    // The tempo track follows the header directly.
    EXPECT_EQ(getU16(&out[header::size]), 1u);
    EXPECT_EQ(getI16(&out[header::size + 2]), 16);
    EXPECT_EQ(getF32(&out[header::size + 4]), 2.0f);
}

TEST(RolWriter, TrackNamesCarryTheVoiceSuffix)
{
    EXPECT_EQ(trackName("Voix ", 3), "Voix  3");
    EXPECT_EQ(trackName("Pitch ", 10), "Pitch 10");
}

TEST(RolWriter, SilentVoiceHasNoNoteRecords)
{
    Song song;
    song.voices.resize(1);
    song.voices[0].notes = {{60, 4}};  // ignored: time of last note 0
    song.voices[0].timbres.push_back({0, {'p', 'i', 'a', 'n', 'o', '1'}, 7});
    Bytes out = writeSong(song);
    std::size_t voice = header::size + 2;
    ASSERT_EQ(out.size(), voice + 4 * (trackNameSize + 2) + timbreEventSize);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&out[voice])), "Voix  0");
    std::size_t timbre = voice + trackNameSize + 2;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&out[timbre])), "Timbre  0");
    EXPECT_EQ(getU16(&out[timbre + trackNameSize]), 1u);
    const std::uint8_t *event = &out[timbre + trackNameSize + 2];
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(event + 2)), "piano1");
    EXPECT_EQ(event[11], 0);
    EXPECT_EQ(getU16(event + 12), 7u);
}

} // namespace
} // namespace velk::rol
