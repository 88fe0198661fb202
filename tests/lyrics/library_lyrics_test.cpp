// Lyrics through the library: found beside the song in any case, timed on
// the song's ticks, and never a reason for a song to play differently.
#include <cmath>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "converter/conversion.h"
#include "converter/ims_song.h"
#include "libvelk/velk.h"
#include "lyrics/iss_file.h"
#include "tests/support/demo_song.h"
#include "tests/support/files.h"
#include "tests/support/songs.h"
#include "tests/support/temp_dir.h"
#include "tools/issmaker/iss_writer.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

struct Song {
    velk_song *handle = nullptr;
    ~Song() { velk_close(handle); }
};

velk_options cheapOptions()
{
    velk_options o;
    velk_options_init(&o);
    o.sample_rate = 8000;
    o.emulator = VELK_EMULATOR_SATOH;
    return o;
}

std::vector<std::int16_t> renderWhole(velk_song *song)
{
    std::vector<std::int16_t> all, block(2 * 4096);
    long n;
    while ((n = velk_render(song, block.data(), 4096)) > 0)
        all.insert(all.end(), block.begin(), block.begin() + 2 * n);
    return all;
}

// The shared pair laid out as the collection has it: DOS names in capitals.
struct SharedPair {
    test::TempDir dir;
    fs::path song = dir / "AMG0018.IMS";
    Bytes ims, iss;
    bool copy()
    {
        const fs::path imsPath = test::realSong("AMG0018.IMS"), issPath = test::realSong("AMG0018.ISS"),
                       bank = test::realSong("STANDARD.BNK");
        if (imsPath.empty() || issPath.empty() || bank.empty())
            return false;
        ims = test::readFile(imsPath);
        iss = test::readFile(issPath);
        fs::copy_file(imsPath, song);
        fs::copy_file(issPath, dir / "AMG0018.ISS");
        fs::copy_file(bank, dir / "STANDARD.BNK");
        return true;
    }
};

// The song time of every tick by the tick model, worked out afresh from the
// converted song in double precision: ticks last 60 / (tempo x ticks a
// beat) seconds, the tempo being the basic tempo times the last tempo event
// at or before the tick.
std::vector<double> tickModelMs(const rol::Song &song, std::size_t ticks)
{
    std::vector<double> ms{0.0};
    double multiplier = 1.0;
    std::size_t nextTempo = 0;
    for (std::size_t t = 0; t < ticks; ++t) {
        while (nextTempo < song.tempo.size() && static_cast<std::size_t>(song.tempo[nextTempo].time) <= t)
            multiplier = song.tempo[nextTempo++].multiplier;
        ms.push_back(ms.back() + 60000.0 / (song.basicTempo * std::min<int>(song.ticksPerBeat, 60) * multiplier));
    }
    return ms;
}

TEST(LibraryLyrics, TheSharedPairLightsEachLineAtItsTick)
{
    SharedPair pair;
    if (!pair.copy()) {
        VELK_REQUIRE_REAL_SONG(missing, "AMG0018.ISS");
        GTEST_SKIP() << "the shared pair is incomplete";
    }
    const velk_options options = cheapOptions();
    Song s;
    ASSERT_EQ(velk_open_file(pair.song.string().c_str(), &options, &s.handle), VELK_OK)
        << velk_error_message(s.handle);
    EXPECT_EQ(velk_lyrics_problem(s.handle), nullptr);
    ASSERT_EQ(velk_lyrics_highlight_count(s.handle), 185u);
    ASSERT_EQ(velk_lyrics_line_count(s.handle), 34);
    EXPECT_STREQ(velk_lyrics_credit(s.handle, 1), "Solgher");

    // The events' ticks as the conversion gives them, and their song units.
    const converter::ConversionResult converted = converter::convertImsToRol(pair.ims);
    ASSERT_TRUE(converted.converted());
    const auto ims = ims::readSong(pair.ims.data(), pair.ims.size());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> events;  // (units, tick)
    std::set<std::uint64_t> onsets;
    std::uint64_t units = 0, tick = 0;
    ims::EventReader reader(ims->music);
    ims::Event e;
    const unsigned unit = converted.timeUnit;
    while (reader.next(e) == ims::EventReader::Step::event) {
        events.emplace_back(units, tick);
        // A note starts wherever a note event has a velocity: the songs
        // start notes with "note off" events too, and the conversion plays
        // them so.
        if ((e.kind == ims::EventKind::noteOn || e.kind == ims::EventKind::noteOff) && e.velocity() != 0)
            onsets.insert(units);
        units += e.delayUnits();
        tick += e.wholeBeats * (240 / unit) + e.finalDelay / unit;
    }
    EXPECT_EQ(unit, 20u);
    const std::vector<double> model = tickModelMs(converted.song, tick + 1);
    const double tickMs = 60000.0 / (converted.song.basicTempo * converted.song.ticksPerBeat);

    // The records on note onsets (at 8t exactly).
    const auto file = lyrics::readIssFile(pair.iss.data(), pair.iss.size()).file;
    ASSERT_TRUE(file);
    int onOnsets = 0;
    for (const lyrics::IssRecord &r : file->records)
        onOnsets += onsets.count(8u * r.time) != 0;
    EXPECT_EQ(onOnsets, 153);

    // The first lit time of every line against the tick model: 8t falls on
    // (or just before) an event whose tick the conversion knows.
    std::set<int> seen;
    int linesChecked = 0;
    for (std::size_t i = 0; i < velk_lyrics_highlight_count(s.handle); ++i) {
        velk_highlight h;
        ASSERT_EQ(velk_lyrics_highlight(s.handle, i, &h), VELK_OK);
        if (!seen.insert(h.line).second)
            continue;
        const std::uint64_t at = 8u * file->records[i].time;  // the file's records are in time order
        auto event = std::upper_bound(events.begin(), events.end(), std::make_pair(at, UINT64_MAX)) - 1;
        const std::uint64_t modelTick = event->second + (at - event->first + unit - 1) / unit;
        EXPECT_NEAR(static_cast<double>(h.time_ms), model[modelTick], tickMs) << "line " << h.line;
        // The player is at that very time when it reaches the tick.
        ASSERT_EQ(velk_seek_ms(s.handle, h.time_ms), VELK_OK);
        EXPECT_EQ(velk_position_ms(s.handle), h.time_ms) << "line " << h.line;
        ++linesChecked;
    }
    EXPECT_EQ(linesChecked, 34);
    velk_highlight second;
    ASSERT_EQ(velk_lyrics_highlight(s.handle, 1, &second), VELK_OK);
    EXPECT_NEAR(second.time_ms, 2521, 1);
}

TEST(LibraryLyrics, OddLyricFilesChangeNothingOfTheSong)
{
    test::TempDir dir;
    ASSERT_TRUE(test::writeDemoSong(dir.path()));
    const std::string song = (dir / "demo.ims").string();
    const velk_options options = cheapOptions();
    std::vector<std::int16_t> reference;
    {
        Song s;
        ASSERT_EQ(velk_open_file(song.c_str(), &options, &s.handle), VELK_OK) << velk_error_message(s.handle);
        EXPECT_EQ(velk_lyrics_problem(s.handle), nullptr);
        EXPECT_EQ(velk_lyrics_highlight_count(s.handle), 0u);
        reference = renderWhole(s.handle);
    }
    ASSERT_FALSE(reference.empty());

    lyrics::IssSource good;
    good.lines = {"la la", "\x88\x61"};
    good.records = {{0, 0, 0, 2}, {30, 0, 3, 2}, {60, 1, 0, 2}};
    const Bytes goodBytes = lyrics::writeIssFile(good);
    auto odd = [&](auto change) {
        lyrics::IssSource s = good;
        change(s);
        return lyrics::writeIssFile(s);
    };
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"wrong signature", odd([](lyrics::IssSource &s) { s.signature = "IMPlay Song V1.0"; })},
        {"counts past the end", odd([](lyrics::IssSource &s) { s.lineCount = 3; })},
        {"index past L", odd([](lyrics::IssSource &s) { s.records.push_back({70, 2, 0, 1}); })},
        {"range past 64", odd([](lyrics::IssSource &s) { s.records.push_back({70, 0, 63, 2}); })},
        {"split character", odd([](lyrics::IssSource &s) { s.records.push_back({70, 1, 1, 1}); })},
        {"truncated", Bytes(goodBytes.begin(), goodBytes.begin() + 200)},
        {"empty", Bytes()},
    };
    for (const auto &[name, bytes] : cases) {
        SCOPED_TRACE(name);
        test::writeFile(dir / "DEMO.ISS", bytes);
        Song s;
        ASSERT_EQ(velk_open_file(song.c_str(), &options, &s.handle), VELK_OK) << velk_error_message(s.handle);
        ASSERT_NE(velk_lyrics_problem(s.handle), nullptr);
        EXPECT_NE(std::string(velk_lyrics_problem(s.handle)).find("DEMO.ISS: not a lyric file"), std::string::npos)
            << velk_lyrics_problem(s.handle);
        EXPECT_EQ(velk_lyrics_highlight_count(s.handle), 0u);
        EXPECT_EQ(renderWhole(s.handle), reference);
    }

    // Lyrics given while the song plays: it goes on from where it was.
    fs::remove(dir / "DEMO.ISS");
    Song s;
    ASSERT_EQ(velk_open_file(song.c_str(), &options, &s.handle), VELK_OK);
    std::vector<std::int16_t> played(2 * 3000);
    ASSERT_EQ(velk_render(s.handle, played.data(), 3000), 3000);
    const std::int64_t position = velk_position_ms(s.handle);
    const Bytes &truncated = cases[5].second;
    EXPECT_EQ(velk_set_lyrics(s.handle, truncated.data(), truncated.size()), VELK_ERROR_FORMAT);
    EXPECT_NE(std::string(velk_error_message(s.handle)).find("not a lyric file"), std::string::npos);
    EXPECT_EQ(velk_lyrics_highlight_count(s.handle), 0u);
    ASSERT_EQ(velk_set_lyrics(s.handle, goodBytes.data(), goodBytes.size()), VELK_OK);
    EXPECT_EQ(velk_lyrics_problem(s.handle), nullptr);
    EXPECT_EQ(velk_position_ms(s.handle), position);
    ASSERT_EQ(velk_lyrics_highlight_count(s.handle), 3u);
    EXPECT_STREQ(velk_lyrics_line(s.handle, 1), "가");
    EXPECT_STREQ(velk_lyrics_text(s.handle), "la la\n가");
    const std::vector<std::int16_t> rest = renderWhole(s.handle);
    played.insert(played.end(), rest.begin(), rest.end());
    EXPECT_EQ(played, reference);
    // Found beside a memory open through options.location, in any case.
    test::writeFile(dir / "Demo.Iss", goodBytes);
    const Bytes ims = test::readFile(dir / "demo.ims");
    velk_options located = options;
    located.location = song.c_str();
    Song m;
    ASSERT_EQ(velk_open_memory(ims.data(), ims.size(), nullptr, 0, &located, &m.handle), VELK_OK)
        << velk_error_message(m.handle);
    EXPECT_EQ(velk_lyrics_highlight_count(m.handle), 3u);
    EXPECT_EQ(velk_set_lyrics(m.handle, nullptr, 0), VELK_OK);
    EXPECT_EQ(velk_lyrics_line_count(m.handle), 0);
    EXPECT_STREQ(velk_lyrics_text(m.handle), "");
}

} // namespace
} // namespace velk
