// The engine's register writes, tick by tick, on a recording chip.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/rol/song_building.h"

namespace velk::test {
namespace {

using Writes = std::vector<RegisterWrite>;

// piano1's modulator is the packing example: multiplier 1, attack 15, decay
// 4, sustain 2, release 5, level 16, key scale level 1, sustaining; its
// carrier has key scale level 1 and a level of 40 the engine must ignore.
// organ's carrier has key scale level 2.
Bytes testBank()
{
    bank::BankInstrument piano;
    piano.name = "piano1";
    piano.modulator = {1, 1, 0, 15, 2, 1, 4, 5, 16, 0, 0, 0, 0};
    piano.carrier = {1, 2, 0, 14, 3, 0, 5, 6, 40, 0, 0, 0, 0};
    piano.modulatorWave = 1;
    piano.carrierWave = 2;
    bank::BankInstrument organ = distinctInstrument("organ", 7);
    organ.carrier[bank::keyScaleLevel] = 2;
    organ.modulator[bank::keyScaleLevel] = 2;
    return bank::writeBank({piano, organ});
}

TEST(RolPlayback, NotesRestsAndTheEndOfAVoice)
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 4}, {0, 2}, {64, 2}});
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    EXPECT_EQ(rig.player.song().voices[0].notes.size(), 3u);

    const auto ticks = rig.play(10);
    // C of block 4 (F-number 340 = 154h), key off first; rest; E (432 = 1B0h).
    EXPECT_EQ(ticks[0], (Writes{{0xB0, 0x00}, {0xA0, 0x54}, {0xB0, 0x31}}));
    for (int t : {1, 2, 3, 5, 7, 9})
        EXPECT_TRUE(ticks[t].empty()) << "tick " << t;
    EXPECT_EQ(ticks[4], (Writes{{0xB0, 0x11}}));
    EXPECT_EQ(ticks[6], (Writes{{0xB0, 0x11}, {0xA0, 0xB0}, {0xB0, 0x31}}));
    EXPECT_EQ(ticks[8], (Writes{{0xB0, 0x11}}));
}

TEST(RolPlayback, TheUpdateOfTheLastTickReportsTheEnd)
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 100}});
    setNotes(song.voices[3], {{48, 30}, {50, 30}});
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    EXPECT_EQ(rig.player.song().endTick, 100);
    for (int t = 0; t < 100; ++t)
        ASSERT_TRUE(rig.player.update()) << "tick " << t;
    EXPECT_FALSE(rig.player.update());  // tick 100
    rig.opl.take();
    EXPECT_FALSE(rig.player.update());
    EXPECT_TRUE(rig.opl.take().empty()) << "nothing is played after the end";
    EXPECT_EQ(rig.player.songlength(0), 12500u);  // 100 ticks of 1/8 s
}

TEST(RolPlayback, EqualNotesAreStruckAgainAndBlocksWrap)
{
    rol::Song song = emptySong();
    // A zero duration lasts one tick, so the last record starts on the end
    // tick. 108 sounds like 12 (C of block 0); 11 is B of block 7.
    setNotes(song.voices[2], {{60, 1}, {60, 0}, {108, 1}, {11, 1}});
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    const auto ticks = rig.play(4);
    EXPECT_EQ(ticks[1], (Writes{{0xB2, 0x11}, {0xA2, 0x54}, {0xB2, 0x31}}));
    EXPECT_EQ(ticks[2], (Writes{{0xB2, 0x11}, {0xA2, 0x54}, {0xB2, 0x21}}));
    EXPECT_EQ(ticks[3], (Writes{{0xB2, 0x01}, {0xA2, 0x87}, {0xB2, 0x3E}}));
    EXPECT_EQ(rig.player.tick(), 3) << "tick 3 ended the song";
}

TEST(RolPlayback, TickRateFollowsTheTempoTrack)
{
    rol::Song song = emptySong();
    song.tempo = {{16, 2.0f}, {24, 0.5f}};
    setNotes(song.voices[0], {{60, 32}});
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    EXPECT_FLOAT_EQ(rig.player.getrefresh(), 8.0f);
    for (int t = 0; t < 16; ++t)
        rig.player.update();
    EXPECT_FLOAT_EQ(rig.player.getrefresh(), 8.0f);
    rig.player.update();  // tick 16
    EXPECT_FLOAT_EQ(rig.player.getrefresh(), 16.0f);
    for (int t = 17; t <= 24; ++t)
        rig.player.update();
    EXPECT_FLOAT_EQ(rig.player.getrefresh(), 4.0f) << "a tempo event replaces the multiplier";
    // 16 ticks at 8 Hz, 8 at 16 Hz, 8 at 4 Hz.
    EXPECT_EQ(rig.player.songlength(0), 2000u + 500u + 2000u);
    EXPECT_FLOAT_EQ(rig.player.getrefresh(), 8.0f) << "songlength rewinds";

    song.ticksPerBeat = 90;  // counts as 60
    song.basicTempo = 30.0f;
    song.tempo.clear();
    PlayerRig fast;
    ASSERT_TRUE(fast.load(song, testBank()));
    EXPECT_FLOAT_EQ(fast.player.getrefresh(), 30.0f);
}

TEST(RolPlayback, TickRateStaysPositiveAndFinite)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Three ticks: the first at the basic tempo, then the multiplier's.
    struct Case { float basic; float multiplier; float rate; unsigned long length; };
    const float lowest = RolPlayer::minRefresh;
    const float highest = RolPlayer::maxRefresh;
    for (const Case c : {Case{0.0f, 1.0f, lowest, 12000}, Case{120.0f, 0.0f, lowest, 8125},
                         Case{-120.0f, 1.0f, lowest, 12000}, Case{nan, 1.0f, lowest, 12000},
                         Case{120.0f, nan, lowest, 8125}, Case{inf, 1.0f, highest, 0},
                         Case{120.0f, -inf, lowest, 8125}, Case{1.0e30f, 1.0f, highest, 0}}) {
        rol::Song song = emptySong();
        song.basicTempo = c.basic;
        song.tempo = {{1, c.multiplier}};
        setNotes(song.voices[0], {{60, 3}});
        PlayerRig rig;
        ASSERT_TRUE(rig.load(song, testBank()));
        rig.player.update();
        rig.player.update();
        EXPECT_EQ(rig.player.getrefresh(), c.rate) << c.basic << " x " << c.multiplier;
        EXPECT_EQ(rig.player.songlength(0), c.length) << c.basic << " x " << c.multiplier;
    }
    RecordingOpl chip;
    RolPlayer unloaded(&chip);
    EXPECT_FLOAT_EQ(unloaded.getrefresh(), 18.2f);
    EXPECT_FALSE(unloaded.update());
    EXPECT_EQ(unloaded.gettype(), "Adlib Visual Composer");
}

TEST(RolPlayback, TimbreEventsLoadBothOperators)
{
    rol::Song song = emptySong();
    setNotes(song.voices[4], {{60, 4}});
    song.voices[4].timbres = {timbreAt(1, "PIANO1")};
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    const auto ticks = rig.play(2);
    // Channel 4: modulator slot 09h, carrier slot 0Ch. The carrier's own
    // level (40) is not used: its attenuation comes from the volume track.
    EXPECT_EQ(ticks[1], (Writes{{0x29, 0x21}, {0x49, 0x50}, {0x69, 0xF4}, {0x89, 0x25}, {0xC4, 0x01}, {0xE9, 0x01},
                                {0x2C, 0x02}, {0x4C, 0x40}, {0x6C, 0xE5}, {0x8C, 0x36}, {0xEC, 0x02}}));
}

TEST(RolPlayback, VolumeIsAnAttenuationBesideTheKeyScaleLevel)
{
    rol::Song song = emptySong();
    setNotes(song.voices[1], {{60, 12}});
    song.voices[1].volumes = {{0, 0.5f}, {2, 1.0f}, {3, 0.0f}, {4, 1.5f}, {7, 0.25f}};
    song.voices[1].timbres = {timbreAt(1, "piano1"), timbreAt(5, "organ"), timbreAt(6, "piano1")};
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    const auto ticks = rig.play(8);
    auto carrierLevel = [&](int tick) {
        for (const RegisterWrite &w : ticks[tick])
            if (w.reg == 0x44)  // channel 1's carrier
                return w.value;
        return -1;
    };
    EXPECT_EQ(carrierLevel(0), 31) << "before any instrument: no key scale level";
    EXPECT_EQ(carrierLevel(1), 0x40 | 31) << "a timbre keeps the attenuation";
    EXPECT_EQ(carrierLevel(2), 0x40 | 0);
    EXPECT_EQ(carrierLevel(3), 0x40 | 63);
    EXPECT_EQ(carrierLevel(4), 0xC0 | 33) << "1.5: attenuation -31 as 8 bits";
    EXPECT_EQ(carrierLevel(5), 0x80 | 33) << "the next timbre restores the key scale level";
    EXPECT_EQ(carrierLevel(6), 0x40 | 33);
    EXPECT_EQ(carrierLevel(7), 0x40 | 47) << "0.25 gives 47.25, truncated";
}

TEST(RolPlayback, TracksStallOnRepeatedOrEarlierTimes)
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 10}});
    song.voices[0].timbres = {timbreAt(2, "piano1"), timbreAt(2, "organ"), timbreAt(5, "organ")};
    song.voices[0].volumes = {{1, 0.5f}, {4, 0.0f}, {3, 1.0f}, {6, 1.0f}};
    song.voices[0].pitches = {{0, 0.5f}, {1, 2.0f}};
    song.tempo = {{3, 2.0f}, {1, 4.0f}, {5, 0.5f}};
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    const auto ticks = rig.play(10);
    EXPECT_TRUE(ticks[1] == (Writes{{0x43, 31}})) << "pitch events change nothing";
    EXPECT_EQ(ticks[2].size(), 11u) << "the first of two timbres at tick 2";
    EXPECT_EQ(ticks[4], (Writes{{0x43, 0x40 | 63}}));
    for (int t : {3, 5, 6, 7, 8, 9})
        EXPECT_TRUE(ticks[t].empty()) << "tick " << t;
    EXPECT_FLOAT_EQ(rig.player.getrefresh(), 16.0f) << "the tempo track stalled after tick 3";
}

TEST(RolPlayback, EmptyVoicesAndEndedVoicesApplyNothing)
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 6}});
    song.voices[5].timbres = {timbreAt(0, "piano1")};  // no notes
    song.voices[5].volumes = {{1, 0.5f}};
    setNotes(song.voices[7], {{60, 2}});
    song.voices[7].timbres = {timbreAt(2, "piano1"), timbreAt(3, "organ")};
    song.voices[7].volumes = {{2, 0.5f}, {4, 0.0f}};
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    const auto ticks = rig.play(7);
    for (const auto &tick : ticks)
        for (const RegisterWrite &w : tick)
            EXPECT_TRUE(w.reg != 0xB5 && (w.reg & 0x1F) != 0x0A && (w.reg & 0x1F) != 0x0D) << std::hex << w.reg;
    // Voice 7's events at tick 2 come before its note step keys it off.
    EXPECT_EQ(ticks[2].size(), 11u + 1u + 1u);
    EXPECT_EQ(ticks[2].back(), (RegisterWrite{0xB7, 0x11}));
    EXPECT_TRUE(ticks[3].empty());
    EXPECT_TRUE(ticks[4].empty());
}

TEST(RolPlayback, PercussiveSongsPlayTheRhythmSection)
{
    rol::Song song = emptySong(rol::modePercussive);
    setNotes(song.voices[5], {{60, 2}});
    setNotes(song.voices[6], {{48, 1}, {0, 1}});   // bass drum
    setNotes(song.voices[7], {{70, 1}, {70, 1}});  // snare drum
    setNotes(song.voices[8], {{50, 2}});           // tom-tom
    setNotes(song.voices[9], {{0, 1}, {30, 1}});   // top cymbal
    setNotes(song.voices[10], {{99, 2}});          // hi-hat
    song.voices[6].volumes = {{1, 0.0f}};
    song.voices[7].volumes = {{1, 0.0f}};
    song.voices[8].volumes = {{1, 0.0f}};
    song.voices[9].volumes = {{1, 0.0f}};
    song.voices[10].volumes = {{1, 0.0f}};
    song.voices[8].timbres = {timbreAt(1, "piano1")};
    song.voices[6].timbres = {timbreAt(1, "piano1")};
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    EXPECT_EQ(rig.opl.take(), (Writes{{0x01, 0x20}, {0xBD, 0x20}, {0xA8, 0x54}, {0xB8, 0x09}, {0xA7, 0x02}, {0xB7, 0x0A}}))
        << "rhythm on; tom-tom at note 36, snare at 43, not keyed";

    const auto ticks = rig.play(3);
    EXPECT_EQ(ticks[0], (Writes{{0xB5, 0x00}, {0xA5, 0x54}, {0xB5, 0x31},  // melodic voice 5
                                {0xBD, 0x20}, {0xA6, 0x54}, {0xB6, 0x0D}, {0xBD, 0x30},
                                {0xBD, 0x30}, {0xBD, 0x38},
                                {0xBD, 0x38}, {0xA8, 0x81}, {0xB8, 0x0D}, {0xA7, 0x41}, {0xB7, 0x0E}, {0xBD, 0x3C},
                                {0xBD, 0x3C},  // the cymbal rests
                                {0xBD, 0x3C}, {0xBD, 0x3D}}));
    // Bass drum: both operators of channel 6. Tom-tom: one operator (12h),
    // no channel register. Volumes go to each voice's output operator.
    EXPECT_EQ(ticks[1], (Writes{{0x30, 0x21}, {0x50, 0x50}, {0x70, 0xF4}, {0x90, 0x25}, {0xC6, 0x01}, {0xF0, 0x01},
                                {0x33, 0x02}, {0x53, 0x40}, {0x73, 0xE5}, {0x93, 0x36}, {0xF3, 0x02},
                                {0x53, 0x40 | 63}, {0xBD, 0x2D},
                                {0x54, 63}, {0xBD, 0x25}, {0xBD, 0x2D},
                                {0x32, 0x21}, {0x52, 0x40}, {0x72, 0xF4}, {0x92, 0x25}, {0xF2, 0x01},
                                {0x52, 0x40 | 63},
                                {0x55, 63}, {0xBD, 0x2D}, {0xBD, 0x2F},
                                {0x51, 63}}));
    EXPECT_EQ(ticks[2].front(), (RegisterWrite{0xB5, 0x11}));
}

TEST(RolPlayback, MelodicSongsUseAllNineChannels)
{
    rol::Song song = emptySong();
    for (int v = 0; v < 9; ++v)
        setNotes(song.voices[v], {{static_cast<std::int16_t>(24 + 12 * (v % 8)), 2}});
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    EXPECT_EQ(rig.opl.take(), (Writes{{0x01, 0x20}})) << "no rhythm section";
    const auto ticks = rig.play(1);
    ASSERT_EQ(ticks[0].size(), 27u);
    for (int v = 0; v < 9; ++v) {
        EXPECT_EQ(ticks[0][3 * v + 1], (RegisterWrite{0xA0 + v, 0x54}));
        EXPECT_EQ(ticks[0][3 * v + 2], (RegisterWrite{0xB0 + v, 0x21 | (1 + v % 8) << 2}));
    }
}

TEST(RolPlayback, RewindStartsOver)
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 3}, {62, 3}});
    song.voices[0].volumes = {{1, 0.5f}};
    song.voices[0].timbres = {timbreAt(2, "piano1")};
    song.tempo = {{1, 2.0f}};
    PlayerRig rig;
    ASSERT_TRUE(rig.load(song, testBank()));
    const int resets = rig.opl.resets;
    const auto first = rig.play(7);
    rig.player.rewind(0);
    EXPECT_EQ(rig.opl.resets, resets + 1);
    EXPECT_FLOAT_EQ(rig.player.getrefresh(), 8.0f);
    EXPECT_EQ(rig.player.tick(), 0);
    EXPECT_EQ(rig.play(7), first);

    // The cached attenuation is cleared: a timbre at tick 2 without the
    // volume event before it writes full level.
    rig.player.rewind(0);
    rig.player.update();
    rig.opl.take();
    song.voices[0].volumes.clear();
    PlayerRig plain;
    ASSERT_TRUE(plain.load(song, testBank()));
    const auto ticks = plain.play(3);
    EXPECT_EQ(ticks[2][7], (RegisterWrite{0x43, 0x40}));
}

TEST(RolPlayback, PitchEventsBendOnlyWhenBendsAreOn)
{
    rol::Song song = emptySong();
    setNotes(song.voices[0], {{60, 3}, {62, 3}});
    // A semitone down, none, 24 steps up, then held on into the next note.
    song.voices[0].pitches = {{1, 0.0f}, {2, 1.0f}, {3, 2.0f}};
    for (bool bends : {false, true}) {
        SCOPED_TRACE(bends ? "bends on" : "bends off");
        PlayerRig rig;
        rig.player.setPitchBends(bends);
        ASSERT_TRUE(rig.load(song, testBank()));
        const auto ticks = rig.play(4);
        // C of block 4 (340 = 154h) keyed on; D (385 = 181h).
        EXPECT_EQ(ticks[0], (Writes{{0xB0, 0x00}, {0xA0, 0x54}, {0xB0, 0x31}}));
        if (!bends) {
            for (int t : {1, 2})
                EXPECT_TRUE(ticks[t].empty()) << "tick " << t;
            EXPECT_EQ(ticks[3], (Writes{{0xB0, 0x11}, {0xA0, 0x81}, {0xB0, 0x31}}));
            continue;
        }
        // B of block 3 (647 = 287h), the C again, then D 24 steps up:
        // 385 x 2^(24/300) = 407.
        EXPECT_EQ(ticks[1], (Writes{{0xA0, 0x87}, {0xB0, 0x2E}}));
        EXPECT_EQ(ticks[2], (Writes{{0xA0, 0x54}, {0xB0, 0x31}}));
        EXPECT_EQ(ticks[3], (Writes{{0xB0, 0x11}, {0xA0, 0x81}, {0xB0, 0x31}, {0xA0, 0x97}, {0xB0, 0x31}}));
    }
}

} // namespace
} // namespace velk::test
