// Exact seeks: after a seek, from a snapshot (taken as the song played, or
// handed over by a seek index built on another thread) or from the start,
// the samples are the whole render's, bit for bit, whatever muting the
// snapshots were taken under.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "libvelk/velk.h"
#include "tests/rol/song_building.h"
#include "tests/support/songs.h"
#include "tools/bankmaker/bank_text.h"

namespace {

using velk::Bytes;

constexpr int rate = 22050;

struct Song {
    velk_song *handle = nullptr;
    ~Song() { velk_close(handle); }
};

struct Source {
    std::string path;  // or the bytes below
    Bytes rol, bank;
};

bool open(Song &song, const Source &source, velk_emulator emulator)
{
    velk_options options;
    velk_options_init(&options);
    options.sample_rate = rate;
    options.channels = 1;
    options.emulator = emulator;
    const velk_error error =
        source.path.empty()
            ? velk_open_memory(source.rol.data(), source.rol.size(), source.bank.data(), source.bank.size(), &options,
                               &song.handle)
            : velk_open_file(source.path.c_str(), &options, &song.handle);
    if (error != VELK_OK)
        ADD_FAILURE() << velk_error_message(song.handle);
    return error == VELK_OK;
}

// Rendered in blocks of an odd size, unlike the whole render's.
std::vector<std::int16_t> render(velk_song *song, std::size_t frames, std::size_t block = 777)
{
    std::vector<std::int16_t> pcm;
    std::vector<std::int16_t> piece(block);
    long n;
    while (pcm.size() < frames && (n = velk_render(song, piece.data(), std::min(block, frames - pcm.size()))) > 0)
        pcm.insert(pcm.end(), piece.begin(), piece.begin() + n);
    return pcm;
}

std::vector<std::int16_t> renderWhole(velk_song *song) { return render(song, SIZE_MAX, 4096); }

// A made song of what snapshots must carry: rhythm mode with noise, notes
// held across many seconds, volume changes, tempo changes, bends.
Source madeSong()
{
    velk::rol::Song song = velk::test::emptySong(velk::rol::modePercussive);
    song.tempo = {{0, 1.0f}, {96, 1.5f}, {200, 0.75f}};
    const char *names[] = {"lead", "pad", "bass", "drum"};
    for (int v = 0; v < 11; ++v) {
        velk::rol::Voice &voice = song.voices[static_cast<std::size_t>(v)];
        std::vector<velk::rol::NoteRecord> notes;
        for (int i = 0; i < (v == 1 ? 13 : 40); ++i) {
            const int length = v == 1 ? 24 : 2 + (v * 7 + i * 3) % 9;
            notes.push_back({static_cast<std::int16_t>(i % 5 == 4 ? 0 : 36 + (v * 5 + i * 7) % 36),
                             static_cast<std::int16_t>(length)});
        }
        velk::test::setNotes(voice, notes);
        voice.timbres = {velk::test::timbreAt(0, names[v < 6 ? v % 3 : 3])};
        voice.volumes = {{0, 1.0f}, {static_cast<std::int16_t>(30 + v), 0.6f}, {150, 0.9f}};
        if (v < 6)
            voice.pitches = {{0, 1.0f}, {static_cast<std::int16_t>(40 + v), 1.4f}, {120, 0.7f}};
    }
    Source source;
    source.rol = velk::rol::writeSong(song);
    source.bank = velk::bank::writeBank(velk::bank::parseBankText(
                                            "instrument lead\n"
                                            "  modulator multiplier=2 level=20 attack=12 decay=4 sustain=3 release=6\n"
                                            "  carrier   multiplier=1 attack=14 decay=3 sustain=2 release=4\n"
                                            "instrument pad\n"
                                            "  modulator multiplier=1 level=30 attack=3 decay=1 sustain=1 release=2\n"
                                            "  carrier   multiplier=1 attack=2 decay=1 sustain=1 release=1 sustaining=1\n"
                                            "instrument bass\n"
                                            "  modulator multiplier=1 level=10 attack=15 decay=6 sustain=8 release=8\n"
                                            "  carrier   multiplier=1 attack=15 decay=5 sustain=4 release=7\n"
                                            "instrument drum\n"
                                            "  modulator multiplier=1 level=5 attack=15 decay=7 sustain=9 release=7\n"
                                            "  carrier   multiplier=2 attack=15 decay=6 sustain=6 release=6\n")
                                            .instruments);
    return source;
}

// The shared songs too, but not under ThreadSanitizer (too slow there).
std::vector<Source> songs(bool &missing)
{
    std::vector<Source> list = {madeSong()};
#if defined(__SANITIZE_THREAD__)
    return list;
#endif
    for (const char *name : {"AMG0018.IMS", "go-_-go.ims"}) {
        const std::filesystem::path path = velk::test::realSong(name);
        if (path.empty())
            missing = true;
        else
            list.push_back({path.string(), {}, {}});
    }
    return list;
}

// Checks `heard`, from a seek to `target`, against the whole render: the
// seek lands on a tick near its position (song time is summed in floats).
void expectSame(const std::vector<std::int16_t> &whole, const std::vector<std::int16_t> &heard,
                std::int64_t positionMs, const std::string &what)
{
    ASSERT_FALSE(heard.empty()) << what;
    const long near = static_cast<long>(positionMs * rate / 1000);
    bool loud = false;
    for (std::int16_t s : heard)
        loud = loud || std::abs(s) > 64;
    for (long at = std::max(0L, near - rate / 3); at <= near + rate / 3; ++at)
        if (static_cast<std::size_t>(at) + heard.size() <= whole.size() &&
            std::equal(heard.begin(), heard.end(), whole.begin() + at)) {
            EXPECT_TRUE(loud) << what << ": compared only silence";
            return;
        }
    ADD_FAILURE() << what << ": not the whole render's samples at " << positionMs << " ms";
}

void expectExactSeeks(velk_song *song, const std::vector<std::int16_t> &whole, const std::vector<std::int64_t> &targets,
                      const std::string &what)
{
    for (std::int64_t t : targets) {
        EXPECT_EQ(velk_seek_is_exact(song, t), 1) << what << " at " << t;
        ASSERT_EQ(velk_seek_ms(song, t), VELK_OK);
        expectSame(whole, render(song, rate), velk_position_ms(song), what + " at " + std::to_string(t) + " ms");
    }
}

TEST(VelkExactSeek, BackIntoWhatPlayedBeyondItAndAfterIndexing)
{
    bool missing = false;
    for (const Source &source : songs(missing))
        for (velk_emulator e : {VELK_EMULATOR_NUKED, VELK_EMULATOR_SATOH, VELK_EMULATOR_WOODY}) {
            // The made song has what snapshots must carry on every emulator;
            // the shared songs add length and a real song's voices, on Nuked.
            if (!source.path.empty() && e != VELK_EMULATOR_NUKED)
                continue;
            const std::string what = std::string(velk_emulator_name(e)) + " " +
                                     (source.path.empty() ? "made song" : source.path);
            Song whole, song;
            ASSERT_TRUE(open(whole, source, e) && open(song, source, e));
            const std::vector<std::int16_t> reference = renderWhole(whole.handle);
            const std::int64_t length = velk_length_ms(song.handle);

            // Played with voice 1 muted on Nuked: the snapshots hold for
            // any muting there (it is outside the chip).
            ASSERT_EQ(velk_set_muted_voices(song.handle, e == VELK_EMULATOR_NUKED ? 1u : 0u), VELK_OK);
            render(song.handle, static_cast<std::size_t>(rate) * 20);
            ASSERT_EQ(velk_set_muted_voices(song.handle, 0u), VELK_OK);
            EXPECT_GE(velk_snapshot_reach_ms(song.handle), 19000) << what;
            expectExactSeeks(song.handle, reference, {12345, 1500, 18900, 3001}, what + ", played");
            // Past what played, the seek renders on to there: exact too.
            expectExactSeeks(song.handle, reference, {length - 9000}, what + ", beyond");
            EXPECT_GE(velk_snapshot_reach_ms(song.handle), length - 10000) << what;

            velk_seek_index *index = nullptr;
            ASSERT_EQ(velk_seek_index_new(song.handle, &index), VELK_OK) << velk_error_message(song.handle);
            EXPECT_EQ(velk_seek_index_build(index, 5000), 0);
            EXPECT_EQ(velk_seek_index_build(index, 0), 1);
            EXPECT_EQ(velk_seek_index_progress_ms(index), length);
            velk_seek_index_free(index);
            EXPECT_GE(velk_snapshot_reach_ms(song.handle), length - 1500) << what;
            expectExactSeeks(song.handle, reference, {length - 1200, length / 2 + 77, 25000, length - 3333},
                             what + ", indexed");

            // Muting by the chip's levels (satoh, woody) or a gain, with a
            // snapshot to restore: the snapshot is of the chip without them,
            // so not exact. Another tempo has no snapshots: the seek starts
            // the song again at that tempo, exact.
            ASSERT_EQ(velk_set_voice_gain(song.handle, 0, -6.0), VELK_OK);
            EXPECT_EQ(velk_seek_is_exact(song.handle, length / 2), 0) << what;
            ASSERT_EQ(velk_set_voice_gain(song.handle, 0, 0.0), VELK_OK);
            ASSERT_EQ(velk_set_muted_voices(song.handle, 2u), VELK_OK);
            EXPECT_EQ(velk_seek_is_exact(song.handle, length / 2), e == VELK_EMULATOR_NUKED ? 1 : 0) << what;
            ASSERT_EQ(velk_set_muted_voices(song.handle, 0u), VELK_OK);
            ASSERT_EQ(velk_set_tempo(song.handle, 2.0), VELK_OK);
            EXPECT_EQ(velk_seek_is_exact(song.handle, length / 2), 1) << what;
        }
    if (missing) {
        if (velk::test::runningInCi())
            FAIL() << "real songs missing from " << velk::test::songsDir();
        GTEST_SKIP() << "real songs not found in " << velk::test::songsDir() << "; only the made song ran";
    }
}

// Ken's chip cannot be copied: a seek back starts the song again, exact all
// the same; its one chip has no twin for an index.
TEST(VelkExactSeek, KenSeeksBackFromTheStartAndHasNoIndex)
{
    const Source source = madeSong();
    std::vector<std::int16_t> reference;
    {
        Song whole;
        ASSERT_TRUE(open(whole, source, VELK_EMULATOR_KEN));
        reference = renderWhole(whole.handle);
    }
    Song ken;
    ASSERT_TRUE(open(ken, source, VELK_EMULATOR_KEN));
    render(ken.handle, static_cast<std::size_t>(rate) * 8);
    EXPECT_EQ(velk_snapshot_bytes(ken.handle), 0u);
    expectExactSeeks(ken.handle, reference, {3000, 9500, 200}, "ken");
    velk_seek_index *index = reinterpret_cast<velk_seek_index *>(&ken);
    EXPECT_EQ(velk_seek_index_new(ken.handle, &index), VELK_ERROR_BUSY);
    EXPECT_EQ(index, nullptr);
}

// The index builds on a thread of its own while the song plays and seeks on
// this one; then every seek is exact. satoh's chips share fmopl under a lock.
TEST(VelkExactSeek, IndexBuiltOnAnotherThreadWhileTheSongPlays)
{
    const Source source = madeSong();
    for (velk_emulator e : {VELK_EMULATOR_SATOH, VELK_EMULATOR_NUKED}) {
        SCOPED_TRACE(velk_emulator_name(e));
        Song whole, song;
        ASSERT_TRUE(open(whole, source, e) && open(song, source, e));
        const std::vector<std::int16_t> reference = renderWhole(whole.handle);
        const std::int64_t length = velk_length_ms(song.handle);
        velk_seek_index *index = nullptr;
        ASSERT_EQ(velk_seek_index_new(song.handle, &index), VELK_OK);
        std::thread builder([index] {
            while (velk_seek_index_build(index, 700) == 0) {
            }
        });
        for (int i = 0; i < 12; ++i) {
            render(song.handle, rate / 4);
            velk_seek_ms(song.handle, (i * 7919) % length);
            (void)velk_seek_index_progress_ms(index);
            (void)velk_snapshot_bytes(song.handle);
        }
        builder.join();
        velk_seek_index_free(index);
        expectExactSeeks(song.handle, reference, {length - 1500, 4321, length / 3}, velk_emulator_name(e));
    }
    // An index outlives its song and builds for nobody.
    Song song;
    ASSERT_TRUE(open(song, source, VELK_EMULATOR_NUKED));
    velk_seek_index *index = nullptr;
    ASSERT_EQ(velk_seek_index_new(song.handle, &index), VELK_OK);
    velk_close(song.handle);
    song.handle = nullptr;
    EXPECT_EQ(velk_seek_index_build(index, 0), 1);
    velk_seek_index_free(index);
}

} // namespace
