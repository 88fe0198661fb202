// Seeks against the whole render, each voice alone and the mix, on every
// emulator: made songs from seeds (velk_seek_truth sweeps many more), the
// cases kept in tests/libvelk/seek_songs, and the shared songs' opening.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/libvelk/seek_truth.h"
#include "tests/libvelk/song_generator.h"
#include "tests/support/songs.h"

namespace {

using namespace velk::test;

constexpr velk_emulator everyEmulator[] = {VELK_EMULATOR_NUKED, VELK_EMULATOR_SATOH, VELK_EMULATOR_WOODY,
                                           VELK_EMULATOR_KEN};

void expectTrue(const std::string &name, const SongOpener &open, const std::vector<std::int64_t> &targets,
                const TruthOptions &options = {})
{
    for (velk_emulator e : everyEmulator) {
        const TruthReport r = checkSeeks(name, open, e, targets, options);
        std::printf("%s\n", describe(r).c_str());
        EXPECT_GT(r.comparedWindows, 0) << name << ": nothing compared";
        EXPECT_FALSE(r.failed()) << describe(r) << "\n  first: " << r.firstFailure;
    }
}

// Every seek is exact before an index; after one, voices muted in the
// chip's levels restore snapshots taken without, within 0.5 dB.
TEST(SeekTruth, MadeSongsSoundAsTheWholeRenderVoiceByVoice)
{
    for (const bool indexed : {false, true}) {
        const std::uint32_t seed = indexed ? 1001 : 1000;
        const MadeSong made = generateSong(seed, true);
        std::string error;
        const std::optional<SongBytes> bytes = buildSong(made, error);
        ASSERT_TRUE(bytes) << error;
        const SongOpener open = memoryOpener(*bytes);
        TruthOptions options;
        options.indexed = indexed;
        expectTrue(made.name, open, targetsOf(open, seed, 3), options);
    }
}

// Songs that once failed, kept as text with the targets they failed at.
TEST(SeekTruth, KeptCasesSoundAsTheWholeRender)
{
    int kept = 0;
    for (const auto &entry : std::filesystem::directory_iterator(VELK_SEEK_SONGS_DIR)) {
        if (entry.path().extension() != ".txt")
            continue;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        const std::optional<MadeSong> made = parseCaseText(entry.path().filename().string(), text.str());
        ASSERT_TRUE(made) << entry.path();
        std::string error;
        const std::optional<SongBytes> bytes = buildSong(*made, error);
        ASSERT_TRUE(bytes) << error;
        expectTrue(made->name, memoryOpener(*bytes), made->targets);
        ++kept;
    }
    EXPECT_GT(kept, 0) << "no case files in " << VELK_SEEK_SONGS_DIR;
}

// The real songs' first quarter minute, voice by voice (the whole of them is
// velk_seek_truth's, and the mix at every 10 s velk_voices_tests').
TEST(SeekTruth, SharedSongsSoundAsTheWholeRenderVoiceByVoice)
{
    for (const char *name : {"go-_-go.ims", "AMG0018.IMS"}) {
        VELK_REQUIRE_REAL_SONG(path, name);
        expectTrue(name, fileOpener(path.string()), {11000});
    }
}

} // namespace
