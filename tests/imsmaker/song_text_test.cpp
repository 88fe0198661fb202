#include "tools/imsmaker/song_text.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "converter/conversion.h"
#include "converter/ims_song.h"

namespace velk::ims {
namespace {

std::vector<Event> events(const SongSource &song)
{
    const Bytes music = writeMusic(song);
    std::vector<Event> out;
    EventReader reader(music);
    Event e;
    while (reader.next(e) == EventReader::Step::event)
        out.push_back(e);
    return out;
}

TEST(SongText, StepsBecomeEventsWithTheDelaysBetweenThem)
{
    SongTextError error;
    std::optional<SongSource> song = parseSongText("title  A tune  \n"
                                                   "tempo 90\nbeats 3\nrhythm off\nstep 60\n"
                                                   "speed 1 1.5\n"
                                                   "voice 1 piano1 100   # comment\n"
                                                   "  2x: c4 . | f#4 -\n"
                                                   "voice 0 bass1\n"
                                                   "  v80 bb2 @piano1 c3\n",
                                                   error);
    ASSERT_TRUE(song) << error.line << ": " << error.message;
    EXPECT_EQ(song->title, "A tune");
    EXPECT_EQ(song->basicTempo, 90);
    EXPECT_EQ(song->beatsPerMeasure, 3);
    EXPECT_EQ(song->rhythmMode, 0);
    EXPECT_EQ(song->instruments, (std::vector<std::string>{"piano1", "bass1"}));

    struct Expected {
        EventKind kind;
        int voice, first, second;
        std::uint64_t delay;
    };
    // Voice 1 strikes at 0, 120, 240 and 360 and releases at 180 and 420;
    // voice 0 strikes at 0 and 60 (after its instrument change) and is
    // released at 120, where its part ends. The tempo comes first at its time.
    const std::vector<Expected> expected = {
        {EventKind::instrument, 1, 0, 0, 0}, {EventKind::noteOn, 1, 60, 100, 0},   {EventKind::instrument, 0, 1, 0, 0},
        {EventKind::noteOn, 0, 46, 80, 60},  {EventKind::instrument, 0, 0, 0, 0},  {EventKind::noteOn, 0, 48, 80, 60},
        {EventKind::noteOn, 1, 66, 100, 0},  {EventKind::noteOff, 0, 48, 0, 60},   {EventKind::noteOff, 1, 66, 0, 60},
        {EventKind::tempo, 0, 1, 64, 0},     {EventKind::noteOn, 1, 60, 100, 120}, {EventKind::noteOn, 1, 66, 100, 60},
        {EventKind::noteOff, 1, 66, 0, 0},
    };
    const std::vector<Event> got = events(*song);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].kind, expected[i].kind);
        EXPECT_EQ(got[i].voice, expected[i].kind == EventKind::tempo ? 0 : expected[i].voice);
        EXPECT_EQ(got[i].kind == EventKind::tempo ? got[i].tempoInteger() : got[i].data[0], expected[i].first);
        EXPECT_EQ(got[i].kind == EventKind::tempo ? got[i].tempoFraction() : got[i].data[1], expected[i].second);
        EXPECT_EQ(got[i].delayUnits(), expected[i].delay);
    }
}

TEST(SongText, ErrorsNameTheLine)
{
    const std::vector<std::pair<std::string, int>> cases = {
        {"tempo 120\nc4 d4\n", 2}, {"voice 0 piano1\n  c4 h4\n", 2},          {"voice 11\n", 1},
        {"title " + std::string(31, 'x') + "\n", 1}, {"step\n", 1}, {"\n\nvoice 0 averylongname\n", 3}};
    for (const auto &[text, line] : cases) {
        SongTextError error;
        EXPECT_FALSE(parseSongText(text, error)) << text;
        EXPECT_EQ(error.line, line) << text;
        EXPECT_FALSE(error.message.empty());
    }
}

TEST(DemoSong, PercussiveWithTheDemoBanksInstrumentsAndAboutHalfAMinute)
{
    std::string path = VELK_DEMO_SONG;
#ifdef _WIN32
    path = "Z:" + path;  // the source tree, seen from Wine
#endif
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    SongTextError error;
    std::optional<SongSource> song = parseSongText(std::string(std::istreambuf_iterator<char>(in), {}), error);
    ASSERT_TRUE(song) << error.line << ": " << error.message;
    EXPECT_NE(song->rhythmMode, 0);
    const std::vector<std::string> bank = {"piano1", "strings", "bass1", "flute1", "bdrum1", "snare1", "tom1", "cymbal1", "hihat1"};
    for (const std::string &name : song->instruments)
        EXPECT_NE(std::find(bank.begin(), bank.end(), name), bank.end()) << name;

    const converter::ConversionResult r = converter::convertImsToRol(writeSong(*song));
    ASSERT_TRUE(r.converted()) << r.reason;
    int end = 0;
    for (int v : {0, 1, 6, 7, 10}) {  // melody, bass and drums all play
        EXPECT_GT(r.song.voices[v].notes.size(), 1u) << v;
        end = std::max<int>(end, r.song.voices[v].timeOfLastNote);
    }
    double seconds = 0, multiplier = 1;
    for (int tick = 0, next = 0; tick <= end; ++tick) {
        while (next < static_cast<int>(r.song.tempo.size()) && r.song.tempo[next].time == tick)
            multiplier = r.song.tempo[next++].multiplier;
        seconds += 60.0 / (r.song.basicTempo * r.song.ticksPerBeat * multiplier);
    }
    EXPECT_GE(seconds, 20);
    EXPECT_LE(seconds, 40);
}

} // namespace
} // namespace velk::ims
