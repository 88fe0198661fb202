// Our engine against AdPlug's own ROL player, tick by tick, on songs that
// keep clear of where the two are known to part ways:
// - AdPlug 2.3.3 bends notes by pitch events, which our engine steps over,
//   and writes the voice's frequency again at each one, 1.0 included (on a
//   voice that is not sounding, the frequency of its lowest C): the songs
//   here have none;
// - it looks for the bank beside the song file (here both names are present);
// - its F-numbers are a few units above ours (343 for C where ours is 340):
//   the comparison takes a frequency write within 3 as the same note;
// - it scales the bank's level of the output operator by the volume and
//   rounds the other way: the banks here leave that level at 0, and an
//   attenuation within 1 counts as the same;
// - notes below 12 and above 107 it holds at the ends of the range, where
//   ours wraps the block: the songs here stay within 12..107, and the
//   tom-tom, whose note + 7 tunes channel 7, within 12..100.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <strings.h>
#define stricmp strcasecmp  // rol.h expects the Windows name
#endif
#include <rol.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>

#include "rol/opl2.h"
#include "tests/rol/song_building.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace velk::test {
namespace {

// The first is kept for two-operator voices: its modulator has a level.
const char *const instrumentNames[] = {"organ",  "piano1", "strings", "bass1",  "flute1",
                                       "bdrum1", "snare1", "tom1",    "cymbal1", "hihat1"};
constexpr int instrumentCount = 10;

// Instruments for both kinds of voice, with the level of the operators the
// volume track drives left at 0.
Bytes crossCheckBank()
{
    std::vector<bank::BankInstrument> instruments;
    int seed = 3;
    for (const char *name : instrumentNames) {
        bank::BankInstrument in = distinctInstrument(name, seed++);
        in.carrier[bank::outputLevel] = 0;
        in.modulator[bank::outputLevel] = 0;
        instruments.push_back(in);
    }
    instruments[0].modulator[bank::outputLevel] = 21;
    return bank::writeBank(instruments);
}

bool isOutputLevel(int reg, bool percussive)
{
    for (int c = 0; c < opl2::channels; ++c)
        if (reg == opl2::regLevel + opl2::carrierSlot[c])
            return true;
    return percussive && (reg == opl2::regLevel + opl2::hiHatSlot || reg == opl2::regLevel + opl2::tomTomSlot);
}

bool sameWrite(const RegisterWrite &ours, const RegisterWrite &theirs, bool percussive)
{
    if (ours.reg != theirs.reg)
        return false;
    if (ours.reg >= opl2::regFrequencyLow && ours.reg < opl2::regFrequencyLow + opl2::channels)
        return ((theirs.value - ours.value) & 0xFF) <= 3;
    if (isOutputLevel(ours.reg, percussive))
        return (ours.value & 0xC0) == (theirs.value & 0xC0) && std::abs((ours.value & 0x3F) - (theirs.value & 0x3F)) <= 1;
    return ours.value == theirs.value;
}

std::string describe(const std::vector<RegisterWrite> &writes)
{
    std::string out;
    char item[16];
    for (const RegisterWrite &w : writes) {
        std::snprintf(item, sizeof item, " %02X=%02X", w.reg, w.value);
        out += item;
    }
    return out;
}

// Plays `song` with both players and compares every tick.
void expectSamePlayback(const rol::Song &song)
{
    TempDir dir;
    const Bytes bank = crossCheckBank();
    writeFile(dir / "song.rol", rol::writeSong(song));
    writeFile(dir / "song.bnk", bank);
    writeFile(dir / "standard.bnk", bank);
    const std::string path = (dir / "song.rol").string();
    const bool percussive = song.mode == rol::modePercussive;

    RecordingOpl ourChip, theirChip;
    RolPlayer ours(&ourChip);
    CrolPlayer theirs(&theirChip);
    ASSERT_TRUE(ours.load(path, CProvider_Filesystem()));
    ASSERT_TRUE(theirs.load(path, CProvider_Filesystem()));
    EXPECT_EQ(ours.songlength(0), theirs.songlength(0));

    auto expectSameWrites = [&](const std::string &when) {
        const auto ourWrites = ourChip.take();
        const auto theirWrites = theirChip.take();
        bool same = ourWrites.size() == theirWrites.size();
        for (std::size_t i = 0; same && i < ourWrites.size(); ++i)
            same = sameWrite(ourWrites[i], theirWrites[i], percussive);
        EXPECT_TRUE(same) << when << "\n ours:  " << describe(ourWrites) << "\n AdPlug:" << describe(theirWrites);
        return same;
    };
    ours.rewind(0);
    theirs.rewind(0);
    ASSERT_TRUE(expectSameWrites("rewind"));
    for (int tick = 0;; ++tick) {
        ASSERT_LT(tick, 40000) << "no end";
        const bool ourMore = ours.update();
        const bool theirMore = theirs.update();
        ASSERT_TRUE(expectSameWrites("tick " + std::to_string(tick)));
        ASSERT_EQ(ourMore, theirMore) << "tick " << tick;
        ASSERT_NEAR(ours.getrefresh(), theirs.getrefresh(), 1e-3) << "tick " << tick;
        if (!ourMore)
            break;
    }
}

// Times from `start`, steps of 1..`gap`; with `stalls`, a step is now and
// then 0 or backwards, which stops the track there.
std::vector<int> ascendingTimes(std::mt19937 &random, int count, int start, int gap, bool stalls)
{
    std::vector<int> times;
    int t = start;
    for (int i = 0; i < count; ++i) {
        t += std::uniform_int_distribution<int>(stalls ? -3 : 1, gap)(random);
        times.push_back(t);
    }
    return times;
}

rol::Song randomSong(std::uint32_t seed, std::uint8_t mode, bool stalls = false)
{
    std::mt19937 random(seed);
    rol::Song song = emptySong(mode);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    song.ticksPerBeat = static_cast<std::uint16_t>(pick(1, 80));
    song.basicTempo = static_cast<float>(pick(40, 200));
    const float multipliers[] = {0.5f, 0.75f, 1.0f, 1.25f, 2.0f};
    for (int t : ascendingTimes(random, pick(0, 4), 0, 60, stalls))
        song.tempo.push_back({static_cast<std::int16_t>(t), multipliers[pick(0, 4)]});

    for (std::size_t v = 0; v < song.voices.size(); ++v) {
        rol::Voice &voice = song.voices[v];
        std::vector<rol::NoteRecord> notes;
        const int count = pick(0, 3) == 0 ? 0 : pick(1, 40);
        const int highest = mode == rol::modePercussive && v == 8 ? 100 : 107;
        for (int i = 0; i < count; ++i)
            notes.push_back({static_cast<std::int16_t>(pick(0, 5) == 0 ? 0 : pick(12, highest)),
                             static_cast<std::int16_t>(pick(1, 9))});
        setNotes(voice, notes);
        // Events may start before the first note and outlast the last one;
        // an empty voice keeps its events too.
        for (int t : ascendingTimes(random, pick(0, 5), -1, 40, stalls))
            voice.timbres.push_back(
                timbreAt(t, instrumentNames[pick(mode == rol::modePercussive && v >= 6 ? 1 : 0, instrumentCount - 1)]));
        const float levels[] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
        for (int t : ascendingTimes(random, pick(0, 6), -1, 30, stalls))
            voice.volumes.push_back({static_cast<std::int16_t>(t), levels[pick(0, 4)]});
    }
    return song;
}

TEST(RolCrossCheck, MelodicSongsPlayAsAdPlugPlaysThem)
{
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        expectSamePlayback(randomSong(seed, rol::modeMelodic));
    }
}

TEST(RolCrossCheck, PercussiveSongsPlayAsAdPlugPlaysThem)
{
    for (std::uint32_t seed = 100; seed <= 112; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        expectSamePlayback(randomSong(seed, rol::modePercussive));
    }
}

TEST(RolCrossCheck, TracksStallAsAdPlugsDo)
{
    // Events that share a tick or go back in time stop their track in both.
    for (std::uint32_t seed = 200; seed <= 207; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        expectSamePlayback(randomSong(seed, seed % 2 ? rol::modeMelodic : rol::modePercussive, true));
    }
}

} // namespace
} // namespace velk::test
