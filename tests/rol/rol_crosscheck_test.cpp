// Our engine against AdPlug's own ROL player, tick by tick, on songs that
// keep clear of where the two are known to part ways:
// - AdPlug 2.3.3 bends notes by pitch events, and writes the voice's
//   frequency again at each one, 1.0 included (on a voice that has played
//   nothing, that of its lowest C). Our engine does the same with bends on
//   (velkrender --pitch) and steps over them otherwise: the songs without
//   bends here have no pitch events. AdPlug's bent F-numbers come from a
//   table of its own, uneven by more than a step of a bend (a 25th of a
//   semitone); ours are the unbent ones times 2^(steps/300). So a bent
//   frequency counts as the same when it lies within a step and a half of
//   AdPlug's, each measured from C by its engine's own unbent F-numbers;
//   block and key bit must agree exactly. After a rewind AdPlug keeps each
//   voice's last bent table row (its rewind resets only the semitone of a
//   bend), where ours starts unbent: each song here is compared from its
//   load on;
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

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>

#include "rol/opl2.h"
#include "rol/rol_player.h"
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

// Unbent F-numbers of C..B: AdPlug's and our engine's.
constexpr int adplugFrequencyNumbers[12] = {343, 364, 385, 408, 433, 459, 486, 515, 546, 579, 614, 650};
constexpr int ourFrequencyNumbers[12] = {340, 363, 385, 408, 432, 458, 485, 514, 544, 577, 611, 647};

// Where an F-number lies above C of its block, in steps of a 25th of a
// semitone, by a table of the unbent F-numbers.
double stepsAboveC(int frequency, const int (&unbent)[12])
{
    int note = 11;
    while (note > 0 && unbent[note] > frequency)
        --note;
    return 25.0 * note + 300.0 * std::log2(static_cast<double>(frequency) / unbent[note]);
}

bool isFrequency(int reg, int group) { return reg >= group && reg < group + opl2::channels; }

// Both players' frequency registers as written so far, to judge a B0h..B8h
// write of a bent note by the whole F-number.
struct FrequencyLows {
    std::array<int, opl2::channels> ours{}, theirs{};
};

bool sameWrite(const RegisterWrite &ours, const RegisterWrite &theirs, bool percussive, FrequencyLows *bends)
{
    if (bends && ours.reg == theirs.reg) {
        const int channel = ours.reg & 0x0F;
        if (isFrequency(ours.reg, opl2::regFrequencyLow)) {
            bends->ours[channel] = ours.value;
            bends->theirs[channel] = theirs.value;
            return true;  // judged with the B0h write that follows
        }
        if (isFrequency(ours.reg, opl2::regKeyBlockFrequency)) {
            const int ourF = bends->ours[channel] | (ours.value & 3) << 8;
            const int theirF = bends->theirs[channel] | (theirs.value & 3) << 8;
            // A key-off before any note leaves both at 0.
            return (ours.value & 0xFC) == (theirs.value & 0xFC) &&
                   (ourF == theirF ||
                    std::abs(stepsAboveC(ourF, ourFrequencyNumbers) - stepsAboveC(theirF, adplugFrequencyNumbers)) <= 1.5);
        }
    }
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

// Plays `song` with both players and compares every tick, with our
// engine's bends on where `bends` says.
void expectSamePlayback(const rol::Song &song, bool bends = false)
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
    ours.setPitchBends(bends);
    ASSERT_TRUE(ours.load(path, CProvider_Filesystem()));
    ASSERT_TRUE(theirs.load(path, CProvider_Filesystem()));

    FrequencyLows lows;
    auto expectSameWrites = [&](const std::string &when) {
        const auto ourWrites = ourChip.take();
        const auto theirWrites = theirChip.take();
        bool same = ourWrites.size() == theirWrites.size();
        for (std::size_t i = 0; same && i < ourWrites.size(); ++i)
            same = sameWrite(ourWrites[i], theirWrites[i], percussive, bends ? &lows : nullptr);
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
    // Measured last: songlength plays the song through, and AdPlug keeps
    // the bends of that play.
    EXPECT_EQ(ours.songlength(0), theirs.songlength(0));
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

// With `bends`, voices get pitch events too, and their notes stay within
// 13..107, so that a bend down keeps them in the range both hold alike.
rol::Song randomSong(std::uint32_t seed, std::uint8_t mode, bool stalls = false, bool bends = false)
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
            notes.push_back({static_cast<std::int16_t>(pick(0, 5) == 0 ? 0 : pick(bends ? 13 : 12, highest)),
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
        if (!bends)
            continue;
        // The ends of the range, no bend, and anything between.
        const float variations[] = {0.0f, 2.0f, 1.0f, 0.999f, 1.001f};
        for (int t : ascendingTimes(random, pick(0, 12), -1, 12, stalls))
            voice.pitches.push_back({static_cast<std::int16_t>(t), pick(0, 2) == 0
                                                                      ? variations[pick(0, 4)]
                                                                      : static_cast<float>(pick(0, 32767)) / 16384.0f});
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

TEST(RolCrossCheck, PitchEventsBendNotesAsAdPlugBendsThem)
{
    for (std::uint32_t seed = 300; seed <= 315; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const std::uint8_t mode = seed % 2 ? rol::modeMelodic : rol::modePercussive;
        expectSamePlayback(randomSong(seed, mode, seed % 4 == 3, true), true);
    }
}

} // namespace
} // namespace velk::test
