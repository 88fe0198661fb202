#include "converter/conversion.h"

#include <gtest/gtest.h>

#include "tests/converter/rol_check.h"
#include "tools/imsmaker/ims_writer.h"

namespace velk::converter {
namespace {

using namespace velk::ims;

ConversionResult convert(const SongSource &source, int ticksPerBeat = 0)
{
    ConversionResult r = convertImsToRol(ims::writeSong(source), ticksPerBeat);
    if (r.converted())
        test::expectWellFormedRol(r.rol);
    else
        EXPECT_FALSE(r.reason.empty());
    return r;
}

ConversionResult convertEvents(std::vector<SongEvent> events, int ticksPerBeat = 0)
{
    SongSource source;
    source.events = std::move(events);
    return convert(source, ticksPerBeat);
}

std::vector<std::pair<int, int>> notes(const rol::Voice &v)
{
    std::vector<std::pair<int, int>> out;
    for (const rol::NoteRecord &n : v.notes)
        out.emplace_back(n.note, n.duration);
    return out;
}

using Pairs = std::vector<std::pair<int, int>>;

TEST(Conversion, HeaderFromTheImsHeader)
{
    SongSource source;
    source.title = "Title";
    source.beatsPerMeasure = 3;
    source.basicTempo = 132;
    for (auto [flag, mode] : {std::pair{0, rol::modeMelodic}, {1, rol::modePercussive}, {255, rol::modePercussive}}) {
        source.rhythmMode = static_cast<std::uint8_t>(flag);
        ConversionResult r = convert(source);
        ASSERT_TRUE(r.converted());
        EXPECT_EQ(r.song.mode, mode);
        EXPECT_EQ(r.song.beatsPerMeasure, 3);
        EXPECT_EQ(r.song.basicTempo, 132.0f);
        EXPECT_EQ(r.song.editScaleY, 48);
        EXPECT_EQ(r.song.editScaleX, 56);
        EXPECT_EQ(r.song.voices.size(), 11u);  // whatever the mode
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(r.song.title.data())), "Title");
    }
}

TEST(Conversion, TimeUnitIsTheSmallestFinalDelayByte)
{
    // Only whole beats and zeros: 1 tick per beat, each 0xF8 one tick.
    ConversionResult r = convertEvents({noteOn(0, 60, 100).afterBytes(2, 0), noteOn(0, 60, 0).afterBytes(1, 0), noteOn(0, 62, 9)});
    EXPECT_EQ(r.song.ticksPerBeat, 1);
    EXPECT_EQ(notes(r.song.voices[0]), (Pairs{{60, 2}, {0, 1}}));
    EXPECT_EQ(r.song.voices[0].timeOfLastNote, 3);

    // Smallest delay 20: 12 ticks per beat, and each delay of 30 adds 1 tick, not 1.5.
    r = convertEvents({noteOn(0, 60, 100).after(30), noteOn(0, 61, 100).after(30), noteOn(0, 62, 100).after(30),
                       noteOn(0, 63, 100).after(20), noteOn(0, 0, 0)});
    EXPECT_EQ(r.song.ticksPerBeat, 12);
    EXPECT_EQ(notes(r.song.voices[0]), (Pairs{{60, 1}, {61, 1}, {62, 1}, {63, 1}}));

    r = convertEvents({noteOn(0, 60, 100).after(7), noteOn(0, 60, 0)});
    EXPECT_EQ(r.song.ticksPerBeat, 34);
}

TEST(Conversion, TicksPerBeatOption)
{
    std::vector<SongEvent> events = {noteOn(0, 60, 100).after(30), noteOn(0, 60, 0).after(59), volume(1, 5)};
    EXPECT_EQ(convertEvents(events, 100).song.ticksPerBeat, 120);
    EXPECT_EQ(convertEvents(events, 240).song.ticksPerBeat, 240);
    // /t 4 with every delay below 60: all collapses to tick 0, no note records.
    ConversionResult r = convertEvents(events, 4);
    EXPECT_EQ(r.song.ticksPerBeat, 4);
    EXPECT_EQ(r.song.voices[0].timeOfLastNote, 0);
    EXPECT_TRUE(r.song.voices[0].notes.empty());
    // Beyond 240 the unit would be 0, below 0 negative: refused.
    for (int t : {241, -1, 100000}) {
        r = convertEvents(events, t);
        EXPECT_EQ(r.outcome, Outcome::beyondLimits) << t;
        EXPECT_TRUE(r.rol.empty());
    }
}

TEST(Conversion, NotesGetALeadingRestAndTheLastEventMarksTheEnd)
{
    ConversionResult r = convertEvents({volume(3, 1).after(50), noteOn(0, 60, 100).after(40), noteOn(0, 60, 0).after(10),
                                        noteOn(1, 64, 0).after(10), noteOff(1, 64, 0)});
    // Unit 10: voice 0 plays key 60 from tick 5 to 9 after a rest.
    EXPECT_EQ(notes(r.song.voices[0]), (Pairs{{0, 5}, {60, 4}}));
    EXPECT_EQ(r.song.voices[0].timeOfLastNote, 9);
    ASSERT_EQ(r.song.voices[0].volumes.size(), 1u);
    EXPECT_EQ(r.song.voices[0].volumes[0].time, 5);
    EXPECT_EQ(r.song.voices[0].volumes[0].level, 100 / 127.0f);
    // A first note-on of velocity 0 still sets a level, of 0.
    ASSERT_EQ(r.song.voices[1].volumes.size(), 1u);
    EXPECT_EQ(r.song.voices[1].volumes[0].level, 0.0f);
    // A voice without notes: no records, its other events kept.
    EXPECT_EQ(r.song.voices[3].timeOfLastNote, 0);
    EXPECT_EQ(r.song.voices[3].volumes.size(), 1u);
}

TEST(Conversion, VolumeEntriesOnlyForNewVelocities)
{
    ConversionResult r = convertEvents({noteOn(2, 60, 90).after(10), noteOn(2, 62, 90).after(10), noteOff(2, 62, 90).after(10),
                                        noteOff(2, 64, 70).after(10), noteOn(2, 64, 0).after(10), volume(2, 70).after(10),
                                        noteOn(2, 0, 0)});
    const rol::Voice &v = r.song.voices[2];
    // A note-off with a velocity starts its key again.
    EXPECT_EQ(notes(v), (Pairs{{60, 1}, {62, 1}, {62, 1}, {64, 1}, {0, 2}}));
    ASSERT_EQ(v.volumes.size(), 3u);
    EXPECT_EQ(v.volumes[1].time, 3);
    EXPECT_EQ(v.volumes[1].level, 70 / 127.0f);
    EXPECT_EQ(v.volumes[2].time, 5);  // a volume event always counts
}

TEST(Conversion, TimbrePitchAndTempoEvents)
{
    SongSource source;
    source.instruments = {"PIANO1", "bass1"};
    source.events = {instrument(4, 1), instrument(4, 0), instrument(4, 200).after(30), pitchBend(4, 16384), pitchBend(4, 0).after(30),
                     tempo(2, 0), tempo(0, 0).after(30), tempo(1, 64), tempo(1, 1)};
    ConversionResult r = convert(source);
    const rol::Voice &v = r.song.voices[4];
    ASSERT_EQ(v.timbres.size(), 3u);
    auto name = [&](int i) { return std::string(v.timbres[i].name.begin(), v.timbres[i].name.end()); };
    EXPECT_EQ(name(0), std::string("bass1\0\0\0\0", 9));
    EXPECT_EQ(name(1), std::string("piano1\0\0\0", 9));
    EXPECT_EQ(v.timbres[1].time, 0);  // two at one tick: both written
    EXPECT_EQ(name(2), std::string(9, '\0'));  // no such name: nine zeros
    EXPECT_EQ(v.timbres[2].reserved, 200);
    ASSERT_EQ(v.pitches.size(), 2u);
    EXPECT_EQ(v.pitches[0].variation, 1.0f);
    EXPECT_EQ(v.pitches[1].variation, 0.0f);
    ASSERT_EQ(r.song.tempo.size(), 4u);
    EXPECT_EQ(r.song.tempo[0].multiplier, 2.0f);
    EXPECT_EQ(r.song.tempo[1].multiplier, 0.0f);
    EXPECT_EQ(r.song.tempo[2].multiplier, 1.5f);
    EXPECT_EQ(r.song.tempo[3].multiplier, 1.0f);  // 1/128 is below a hundredth
    EXPECT_EQ(r.song.tempo[3].time, 3);
}

TEST(Conversion, ChordAtAVoicesEndLeavesNoRecordThatCannotSound)
{
    // Three notes struck at the last tick: the last marks the end, the other
    // two would be zero-length records after the sum is reached.
    ConversionResult r = convertEvents({noteOn(5, 60, 100).after(10), noteOn(5, 64, 100), noteOn(5, 67, 100), noteOn(5, 72, 100),
                                        pitchBend(0, 1)});
    EXPECT_EQ(notes(r.song.voices[5]), (Pairs{{60, 1}}));
    EXPECT_EQ(r.song.voices[5].timeOfLastNote, 1);
    // Two notes at one tick in the middle stay, as a zero-length record.
    r = convertEvents({noteOn(5, 60, 100), noteOn(5, 64, 100).after(10), noteOn(5, 0, 0)});
    EXPECT_EQ(notes(r.song.voices[5]), (Pairs{{60, 0}, {64, 1}}));
}

TEST(Conversion, RefusalsByKind)
{
    EXPECT_EQ(convertImsToRol(Bytes(70, 0)).outcome, Outcome::unreadable);
    EXPECT_EQ(convertEvents({noteOn(0, 60, 100), raw({0x9B, 60, 100, 0})}).outcome, Outcome::badVoice);

    // Tick 32767 is the last a ROL song can hold.
    std::vector<SongEvent> events = {noteOn(0, 60, 100).afterBytes(32767, 0), noteOn(0, 60, 0)};
    EXPECT_TRUE(convertEvents(events).converted());
    events[0].afterBytes(32768, 0);
    ConversionResult r = convertEvents(events);
    EXPECT_EQ(r.outcome, Outcome::beyondLimits);
    EXPECT_NE(r.reason.find("32768"), std::string::npos) << r.reason;

    // 32,767 entries in a list are fine, one more is not.
    events.assign(32767, volume(9, 1));
    EXPECT_TRUE(convertEvents(events).converted());
    events.push_back(volume(9, 1));
    r = convertEvents(events);
    EXPECT_EQ(r.outcome, Outcome::beyondLimits);
    EXPECT_NE(r.reason.find("voice 9 has 32768 volume events"), std::string::npos) << r.reason;
}

TEST(Conversion, MusicDataBeyondTheOldLimitAndWithoutEndByte)
{
    // 400,000 bytes of events that do nothing, then a note.
    SongSource source;
    source.events.assign(200000, control(0));
    source.events.push_back(noteOn(1, 60, 100).after(1));
    source.events.push_back(noteOn(1, 60, 0).after(1));
    source.endOfSong = false;
    ConversionResult r = convert(source);
    ASSERT_TRUE(r.converted()) << r.reason;
    EXPECT_EQ(notes(r.song.voices[1]), (Pairs{{60, 1}}));

    // A record cut short at the end of the music data is dropped.
    source.events = {noteOn(1, 60, 100).after(1), noteOn(1, 60, 0).after(1), raw({0x90, 62})};
    EXPECT_EQ(notes(convert(source).song.voices[1]), (Pairs{{60, 1}}));
}

} // namespace
} // namespace velk::converter
