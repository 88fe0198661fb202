#include "converter/ims_song.h"

#include <gtest/gtest.h>

#include "tools/imsmaker/ims_writer.h"

namespace velk::ims {
namespace {

using Step = EventReader::Step;

std::vector<Event> readAll(const Bytes &music, Step *last = nullptr)
{
    std::vector<Event> events;
    EventReader reader(music);
    Event e;
    Step step;
    while ((step = reader.next(e)) == Step::event)
        events.push_back(e);
    if (last)
        *last = step;
    return events;
}

TEST(ImsHead, AcceptsExactlyTheTwoKnownHeads)
{
    const std::uint8_t real[6] = {0x01, 0, 0, 0, 0, 0}, other[6] = {0x10, 0, 0, 0, 0, 0};
    EXPECT_TRUE(hasImsHead(real));
    EXPECT_TRUE(hasImsHead(other));
    const std::uint8_t wrong[][6] = {{0x11, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {0x01, 0, 0, 0, 0, 1}, {0x10, 0, 1, 0, 0, 0}};
    for (const auto &head : wrong)
        EXPECT_FALSE(hasImsHead(head));
}

TEST(ImsSong, ReadsHeaderFieldsAndLowerCasesNamesUpToTheirEnd)
{
    SongSource source;
    source.title = std::string(30, 'T');  // fills the field: no terminator
    source.beatsPerMeasure = 3;
    source.rhythmMode = 255;
    source.basicTempo = -5;
    source.instruments = {"PiAnO1", std::string("AB\0CD", 5), "ABCDEFGHI"};
    source.events = {noteOn(0, 60, 100)};
    Bytes file = writeSong(source);

    std::optional<Song> song = readSong(file.data(), file.size());
    ASSERT_TRUE(song);
    EXPECT_EQ(std::string(song->header.title.begin(), song->header.title.end()), std::string(30, 'T'));
    EXPECT_EQ(song->header.beatsPerMeasure, 3);
    EXPECT_EQ(song->header.rhythmMode, 255);
    EXPECT_EQ(song->header.basicTempo, -5);
    EXPECT_EQ(song->music, writeMusic(source));
    ASSERT_EQ(song->instruments.size(), 3u);
    auto name = [&](int i) { return std::string(song->instruments[i].begin(), song->instruments[i].end()); };
    EXPECT_EQ(name(0), std::string("piano1\0\0\0", 9));
    EXPECT_EQ(name(1), std::string("ab\0CD\0\0\0\0", 9));
    EXPECT_EQ(name(2), "abcdefghi");
}

TEST(ImsSong, RefusesFilesTooShortForHeaderMusicOrNames)
{
    SongSource source;
    source.instruments = {"a", "b"};
    source.events = {noteOn(0, 60, 100).after(30)};
    const Bytes file = writeSong(source);
    EXPECT_TRUE(readSong(file.data(), file.size()));
    // Every cut, in the header, the music, the gap byte, the count or the names.
    for (std::size_t size = 0; size < file.size(); ++size)
        EXPECT_FALSE(readSong(file.data(), size)) << size;
    EXPECT_FALSE(readHeader(file.data(), headerSize - 1));

    // A music size near 2^32 must not wrap around the file's end.
    source.musicSize = 0xFFFFFFFFu;
    const Bytes huge = writeSong(source);
    EXPECT_FALSE(readSong(huge.data(), huge.size()));
    source.musicSize.reset();
    source.instruments.clear();  // an empty name table is fine
    const Bytes bare = writeSong(source);
    EXPECT_TRUE(readSong(bare.data(), bare.size()));
}

TEST(EventStream, RunningStatusLeadingDelaysAndDataSizes)
{
    SongSource source;
    source.runningStatus = true;
    source.events = {leadingDelay(5), leadingDelay(7), noteOn(1, 60, 100).after(20), noteOn(1, 62, 0).after(250),
                     control(2).after(3), pressure(3), pitchBend(4, 16384), pitchBend(4, 0x7F7F), tempo(1, 64).afterBytes(2, 0xFC)};
    const Bytes music = writeMusic(source);
    const std::vector<Event> events = readAll(music);
    ASSERT_EQ(events.size(), 9u);
    EXPECT_EQ(events[0].kind, EventKind::none);
    EXPECT_EQ(events[0].delayUnits(), 5u);
    EXPECT_EQ(events[1].kind, EventKind::none);
    EXPECT_EQ(events[1].delayUnits(), 7u);
    EXPECT_EQ(events[3].kind, EventKind::noteOn);  // written without its status byte
    EXPECT_EQ(events[3].voice, 1);
    EXPECT_EQ(events[3].key(), 62);
    EXPECT_EQ(events[3].delayUnits(), 250u);
    EXPECT_EQ(events[4].kind, EventKind::control);
    EXPECT_EQ(events[4].delayUnits(), 3u);
    EXPECT_EQ(events[5].kind, EventKind::pressure);
    EXPECT_EQ(events[6].pitchBend(), 16384u);
    EXPECT_EQ(events[7].pitchBend(), 32639u);
    EXPECT_EQ(events[8].kind, EventKind::tempo);
    EXPECT_EQ(events[8].tempoInteger(), 1);
    EXPECT_EQ(events[8].tempoFraction(), 64);
    EXPECT_EQ(events[8].delayUnits(), 2 * 240u + 0xFC);  // 0xFC as a delay is only a delay
}

TEST(EventStream, F8AsStatusIsATempoEventAndHighVoicesAreRejected)
{
    Bytes music = {0xF8, 1, 2, 3, 4, 5, 0xF8, 0xF8, 9, 0xFC};
    std::vector<Event> events = readAll(music);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::tempo);
    EXPECT_EQ(events[0].tempoInteger(), 3);
    EXPECT_EQ(events[0].delayUnits(), 489u);

    for (std::uint8_t status : {0x8B, 0x9F, 0xCC, 0xFB, 0xFD, 0xFE, 0xFF}) {
        Step last;
        EXPECT_TRUE(readAll({0x90, 60, 100, 0, status, 1, 2, 0}, &last).size() == 1);
        EXPECT_EQ(last, Step::badVoice) << int(status);
    }
}

TEST(EventStream, EndsWithTheMusicDataAndDropsARecordCutShort)
{
    const Bytes whole = {0x90, 60, 100, 0xF8, 4, 0xA0, 90, 0xF8, 0xF8, 7};
    EXPECT_EQ(readAll(whole).size(), 2u);  // no end-of-song byte: ends with the data
    // Cut inside the second record's data or delay: only the first is read.
    for (std::size_t size = 5; size < whole.size(); ++size) {
        Step last;
        EXPECT_EQ(readAll(Bytes(whole.begin(), whole.begin() + size), &last).size(), 1u) << size;
        EXPECT_EQ(last, Step::end);
    }
    EXPECT_TRUE(readAll(Bytes{0xFC, 0x90, 60, 100, 0}).empty());
}

} // namespace
} // namespace velk::ims
