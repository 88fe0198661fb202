// The converter on a real song none of us wrote, and on many broken copies of it.
#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

#include "converter/conversion.h"
#include "converter/ims_song.h"
#include "tests/converter/rol_check.h"
#include "tests/support/files.h"
#include "tests/support/songs.h"

namespace velk::converter {
namespace {

using test::readFile;

// Seconds the ROL song plays: each tick at basic tempo x ticks per beat / 60
// x the tempo multiplier in force.
double playingSeconds(const rol::Song &song)
{
    int end = 0;
    for (const rol::Voice &v : song.voices)
        end = std::max<int>(end, v.timeOfLastNote);
    double seconds = 0, multiplier = 1;
    std::size_t next = 0;
    for (int tick = 0; tick <= end; ++tick) {
        while (next < song.tempo.size() && song.tempo[next].time == tick)
            multiplier = song.tempo[next++].multiplier;
        seconds += 60.0 / (song.basicTempo * std::min<int>(song.ticksPerBeat, 60) * multiplier);
    }
    return seconds;
}

TEST(RealSong, GoGoMatchesWhatWasMeasured)
{
    VELK_REQUIRE_REAL_SONG(path, "go-_-go.ims");
    const Bytes file = readFile(path);
    ASSERT_EQ(file.size(), 64602u);
    EXPECT_TRUE(ims::hasImsHead(file.data()));
    EXPECT_EQ(file[0], 0x01);

    std::optional<ims::Song> ims = ims::readSong(file.data(), file.size());
    ASSERT_TRUE(ims);
    EXPECT_EQ(ims->header.musicSize, 64267u);
    EXPECT_EQ(ims->instruments.size(), 29u);
    EXPECT_EQ(ims->header.rhythmMode, 1);
    EXPECT_EQ(ims->header.basicTempo, 132);
    EXPECT_EQ(ims->header.beatsPerMeasure, 4);
    ims::EventReader reader(ims->music);
    ims::Event e;
    int events = 0;
    while (reader.next(e) == ims::EventReader::Step::event)
        ++events;
    EXPECT_EQ(events, 16656);
    // The stream ends on its end-of-song byte; one byte (0x77) follows it
    // inside the announced music data size.
    EXPECT_EQ(reader.position(), ims->music.size() - 2);
    EXPECT_EQ(ims->music[reader.position()], ims::endOfSong);

    const ConversionResult r = convertImsToRol(file);
    ASSERT_TRUE(r.converted()) << r.reason;
    test::expectWellFormedRol(r.rol);
    EXPECT_EQ(r.song.ticksPerBeat, 8);
    EXPECT_EQ(r.song.mode, rol::modePercussive);
    EXPECT_EQ(r.song.basicTempo, 132.0f);
    ASSERT_EQ(r.song.voices.size(), 11u);
    for (const rol::Voice &v : r.song.voices) {
        int sum = 0;
        for (const rol::NoteRecord &n : v.notes)
            sum += n.duration;
        EXPECT_EQ(sum, v.timeOfLastNote);
        EXPECT_GT(v.timeOfLastNote, 0);
    }
    EXPECT_TRUE(std::equal(r.song.title.begin(), r.song.title.end(), file.begin() + ims::titleOffset));
    EXPECT_NEAR(playingSeconds(r.song), 220, 5);
}

// Either a ROL song that reads back whole, or a refusal that says why.
bool expectConvertedOrRefused(const Bytes &file, const std::string &what)
{
    const ConversionResult r = convertImsToRol(file);
    if (r.converted()) {
        SCOPED_TRACE(what);
        test::expectWellFormedRol(r.rol);
    } else {
        EXPECT_FALSE(r.reason.empty()) << what;
        EXPECT_TRUE(r.rol.empty()) << what;
    }
    return r.converted();
}

TEST(RealSong, EveryTruncationIsConvertedOrRefused)
{
    VELK_REQUIRE_REAL_SONG(path, "go-_-go.ims");
    const Bytes file = readFile(path);
    int refused = 0;
    for (std::size_t size = 0; size <= file.size(); size += size < 200 || size > file.size() - 400 ? 1 : 97) {
        const Bytes cut(file.begin(), file.begin() + size);
        refused += !expectConvertedOrRefused(cut, "cut at " + std::to_string(size));
    }
    EXPECT_GT(refused, 0);
}

TEST(RealSong, RandomCorruptionsAreConvertedOrRefused)
{
    VELK_REQUIRE_REAL_SONG(path, "go-_-go.ims");
    const Bytes file = readFile(path);
    std::mt19937 random(20240607);  // fixed: the same cases on every run and platform
    std::uniform_int_distribution<std::size_t> position(0, file.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), changes(1, 16);
    int converted = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes broken = file;
        const int n = changes(random);
        for (int i = 0; i < n; ++i) {
            // Half of the changes land in the header, where the sizes are.
            const std::size_t at = i % 2 ? position(random) : position(random) % ims::musicOffset;
            broken[at] = static_cast<std::uint8_t>(byte(random));
        }
        converted += expectConvertedOrRefused(broken, "round " + std::to_string(round));
    }
    EXPECT_GT(converted, 0);
}

} // namespace
} // namespace velk::converter
