// Reading lyric files: the shared real one, and odd ones of our own writing.
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "lyrics/lyrics.h"
#include "tests/support/songs.h"
#include "tools/issmaker/iss_writer.h"

namespace velk::lyrics {
namespace {

Bytes readBytes(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

LyricsReading read(const Bytes &bytes) { return readLyrics(bytes.data(), bytes.size()); }

IssSource twoLines()
{
    IssSource s;
    s.credits = {"Kim", "", "\xD4\x41\xD4\x42 Lee", ""};
    s.lines = {"  \x88\x61\x88\x62 la", ""};
    s.records = {{10, 0, 2, 2}, {12, 0, 4, 2}, {12, 1, 0, 1}, {11, 0, 7, 2}};
    return s;
}

TEST(LyricFile, TheSharedRealFile)
{
    VELK_REQUIRE_REAL_SONG(path, "AMG0018.ISS");
    const LyricsReading reading = read(readBytes(path));
    ASSERT_TRUE(reading.lyrics) << reading.problem;
    const Lyrics &l = *reading.lyrics;
    EXPECT_EQ(l.credits, (std::array<std::string, 4>{"LeeYS", "Solgher", "Damul", "Salmosa"}));
    ASSERT_EQ(l.lines.size(), 34u);
    EXPECT_EQ(l.lines[4], "こいにならないね そばにいるだけじゃ");
    EXPECT_EQ(l.lines[1], std::string(16, ' ') + "나의 마음 말할 수 없어. 당신 마음 알고 싶어요.");
    EXPECT_EQ(l.lines[31].substr(20), "ＲＯＬ Ｂｙ ＤＡＣ Ｔｅａｍ ＂ｉｌｕｖｕ＂");
    ASSERT_EQ(l.highlights.size(), 185u);
    // The second record lights line 1 at time 180 (of 1/30 beat).
    EXPECT_EQ(l.highlights[1].songUnits, 8u * 180);
    EXPECT_EQ(l.highlights[1].line, 1);
    for (std::size_t i = 0; i < l.highlights.size(); ++i) {
        const Highlight &h = l.highlights[i];
        const std::string &line = l.lines[static_cast<std::size_t>(h.line)];
        ASSERT_LE(h.first, h.end);
        ASSERT_LE(h.end, line.size());
        // Both ends start a UTF-8 character (or end the line).
        for (std::size_t at : {h.first, h.end}) {
            ASSERT_TRUE(at == line.size() || (static_cast<unsigned char>(line[at]) & 0xC0) != 0x80) << i;
        }
        if (i > 0) {
            ASSERT_GE(h.songUnits, l.highlights[i - 1].songUnits);
        }
    }
    // Line 4 "こ" is its first lit part: 3 UTF-8 bytes.
    EXPECT_EQ(l.highlights[4].line, 4);
    EXPECT_EQ(l.highlights[4].end - l.highlights[4].first, 3u);
}

TEST(LyricFile, OddButReadable)
{
    const LyricsReading reading = read(writeIssFile(twoLines()));
    ASSERT_TRUE(reading.lyrics) << reading.problem;
    const Lyrics &l = *reading.lyrics;
    // The unassigned pairs of an ornament are one U+FFFD each.
    EXPECT_EQ(l.credits[2], "\xEF\xBF\xBD\xEF\xBF\xBD Lee");
    EXPECT_EQ(l.lines[0], "  가각 la");
    // Ordered by time, equal times in the file's order; an empty line lit
    // has an empty range; a range past the text ends at its end.
    ASSERT_EQ(l.highlights.size(), 4u);
    EXPECT_EQ(l.highlights[0].first, 2u);
    EXPECT_EQ(l.highlights[0].end, 5u);
    EXPECT_EQ(l.highlights[1].songUnits, 88u);
    EXPECT_EQ(l.highlights[1].first, 9u);
    EXPECT_EQ(l.highlights[1].end, 11u);
    EXPECT_EQ(l.highlights[2].first, 5u);
    EXPECT_EQ(l.highlights[2].line, 0);
    EXPECT_EQ(l.highlights[3].line, 1);
    EXPECT_EQ(l.highlights[3].first, l.highlights[3].end);
    EXPECT_EQ(wholeText(l), "가각 la\n");

    // No records and no lines: lyrics with nothing to show; bytes after the
    // lines are ignored.
    Bytes empty = writeIssFile(IssSource{});
    empty.push_back(0x1A);
    ASSERT_TRUE(read(empty).lyrics);
    EXPECT_TRUE(read(empty).lyrics->highlights.empty());
}

TEST(LyricFile, NoLyricFileIsRefusedWithItsReason)
{
    const auto problem = [](const Bytes &bytes) { return read(bytes).problem; };
    const auto with = [](auto change) {
        IssSource s = twoLines();
        change(s);
        return writeIssFile(s);
    };
    const Bytes whole = writeIssFile(twoLines());

    EXPECT_NE(problem(Bytes(whole.begin(), whole.begin() + 100)).find("shorter"), std::string::npos);
    EXPECT_NE(problem(Bytes(whole.begin(), whole.end() - 1)).find("need"), std::string::npos);
    EXPECT_NE(problem(with([](IssSource &s) { s.signature = "IMPlay Song V1.0"; })).find("IMPlay"), std::string::npos);
    EXPECT_NE(problem(with([](IssSource &s) { s.recordCount = 600; })).find("need"), std::string::npos);
    EXPECT_NE(problem(with([](IssSource &s) { s.records.push_back({20, 2, 0, 1}); })).find("line 3 of 2"),
              std::string::npos);
    EXPECT_NE(problem(with([](IssSource &s) { s.records.push_back({20, 1, 60, 5}); })).find("past the 64"),
              std::string::npos);
    // Bytes 3 to 4 would split the first Hangul syllable.
    EXPECT_NE(problem(with([](IssSource &s) { s.records.push_back({20, 0, 3, 1}); })).find("split"),
              std::string::npos);
    EXPECT_TRUE(problem(whole).empty());
}

} // namespace
} // namespace velk::lyrics
