// From song units to the player's ms, the karaoke view, and LRC files.
#include <gtest/gtest.h>

#include "lyrics/karaoke.h"
#include "lyrics/lrc.h"
#include "lyrics/song_clock.h"

namespace velk::lyrics {
namespace {

TEST(SongClock, UnitsLandOnTheTickAtOrAfterAndTakeItsTime)
{
    // 20 units a tick; the second event's delay of 30 units was cut to one
    // tick, so units and ticks drift apart there.
    SongClock clock;
    clock.unitsPerTick = 20;
    clock.events = {{0, 0}, {40, 2}, {70, 3}, {70, 3}, {110, 5}};
    clock.tickMs = {0, 10, 20, 35, 50, 65};
    clock.msPerTickAfter = 15;
    EXPECT_EQ(tickAtUnits(clock, 40), 2u);
    EXPECT_EQ(tickAtUnits(clock, 41), 3u);  // between ticks: the one after
    EXPECT_EQ(tickAtUnits(clock, 69), 3u);  // never past the next event's tick
    EXPECT_EQ(tickAtUnits(clock, 70), 3u);
    EXPECT_EQ(tickAtUnits(clock, 100), 5u);
    EXPECT_EQ(tickAtUnits(clock, 150), 7u);  // past the last event
    EXPECT_EQ(msAtUnits(clock, 70), 35);
    EXPECT_EQ(msAtUnits(clock, 150), 95);  // past the table, at the last rate
}

Lyrics sample()
{
    Lyrics l;
    l.credits = {"Kim", "", " Lee ", ""};
    l.lines = {"    one two]  ", "", "three"};
    // Line 0, the empty line, line 0 again, line 2 (never finished).
    l.highlights = {{0, 1000, 0, 0, 1}, {0, 1500, 0, 8, 11}, {0, 2000, 1, 0, 0},
                    {0, 3000, 0, 4, 7},  {0, 62345, 2, 0, 2}, {0, 62400, 2, 2, 5}};
    return l;
}

TEST(Karaoke, TheLineBeingSungItsLitPartsAndTheNext)
{
    const Lyrics l = sample();
    KaraokeView v = karaokeAt(l.highlights, 999);
    EXPECT_EQ(v.line, -1);
    EXPECT_EQ(v.nextLine, 0);
    v = karaokeAt(l.highlights, 1500);
    EXPECT_EQ(v.line, 0);
    EXPECT_EQ(v.lit, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 1}, {8, 11}}));
    EXPECT_EQ(v.nextLine, 1);
    // Back on line 0: only what was lit since it came back.
    v = karaokeAt(l.highlights, 3000);
    EXPECT_EQ(v.lit, (std::vector<std::pair<std::size_t, std::size_t>>{{4, 7}}));
    EXPECT_EQ(v.nextLine, 2);
    v = karaokeAt(l.highlights, 70000);
    EXPECT_EQ(v.line, 2);
    EXPECT_EQ(v.lit, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 5}}));
    EXPECT_EQ(v.nextLine, -1);
}

TEST(Lrc, EnhancedLinesWithTheirTimes)
{
    EXPECT_EQ(lrcTime(0), "00:00.00");
    EXPECT_EQ(lrcTime(62349), "01:02.34");
    EXPECT_EQ(lrcTime(6000000), "100:00.00");
    EXPECT_EQ(writeLrc(sample(), "Song [1]", "Velk 1.1.0"),
              "[ti:Song [1)]\n"
              "[ar:Kim, Lee]\n"
              "[re:Velk 1.1.0]\n"
              "[00:01.00]<00:01.00>one <00:01.50>two]\n"
              "[00:02.00]\n"
              "[00:03.00]<00:03.00>one two]\n"
              "[01:02.34]<01:02.34>th<01:02.40>ree\n");
    // No title, no credits, no highlights: an empty file.
    EXPECT_EQ(writeLrc(Lyrics{}, "", ""), "");
}

} // namespace
} // namespace velk::lyrics
