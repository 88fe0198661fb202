// The collection index over folders laid out as real collections are: names
// in any case, banks beside songs or shared, lyric files, non-ASCII names,
// and the junk, cut songs and bankless songs real folders hold.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/files.h"
#include "tests/support/song_collections.h"
#include "tests/support/temp_dir.h"
#include "tools/velkindex/collection_index.h"
#include "tools/velkindex/index_json.h"

namespace velk::index {
namespace {

const IndexedSong *listed(const CollectionIndex &index, const std::string &path)
{
    auto it = std::find_if(index.songs.begin(), index.songs.end(), [&](auto &s) { return s.path == path; });
    return it == index.songs.end() ? nullptr : &*it;
}
std::string why(const CollectionIndex &index, const std::string &path)
{
    auto it = std::find_if(index.bad.begin(), index.bad.end(), [&](auto &b) { return b.path == path; });
    return it == index.bad.end() ? "(not listed as bad)" : it->why;
}

TEST(CollectionIndex, ListsSongsWithTheirBanksInAnyCaseAndSaysWhyOthersCannotPlay)
{
    test::TempDir dir;
    auto song = test::shortImsSong("HELLO", 4);
    auto bank = test::soundingBank();
    const auto &d = dir.path();
    std::filesystem::create_directories(d / "DOS" / "SUB");
    std::filesystem::create_directories(d / "노래");
    std::filesystem::create_directories(d / "lone");
    test::writeFile(d / "DOS" / "SONG1.IMS", song);
    test::writeFile(d / "DOS" / "Standard.Bnk", bank);          // the folder's bank, found in any case
    test::writeFile(d / "DOS" / "SUB" / "own.ims", song);
    test::writeFile(d / "DOS" / "SUB" / "OWN.BNK", bank);       // its own bank
    test::writeFile(d / "노래" / "그대에게.IMS", song);          // non-ASCII names
    test::writeFile(d / "노래" / "STANDARD.BNK", bank);
    test::writeFile(d / "lone" / "NOBANK.IMS", song);
    std::vector<std::uint8_t> cut(song.begin(), song.begin() + 40);
    test::writeFile(d / "DOS" / "CUT.IMS", cut);
    test::writeFile(d / "DOS" / "README.TXT", std::string("not music\n"));
    test::writeFile(d / "DOS" / "FAKE.IMS", std::string("MThd and more bytes"));
    test::writeFile(d / "DOS" / "EMPTY.ROL", std::string());
    test::writeFile(d / "DOS" / "\xB3\xEB.IMS", song);           // an EUC-KR name, not UTF-8

    auto index = indexCollection(d.string(), {"."});

    ASSERT_EQ(index.songs.size(), 3u) << indexJson(index);
    const IndexedSong *one = listed(index, "DOS/SONG1.IMS");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->bank, "DOS/Standard.Bnk");
    EXPECT_EQ(one->kind, "ims");
    EXPECT_EQ(one->title, "HELLO");
    EXPECT_GT(one->lengthMs, 1000);
    EXPECT_GT(one->voices, 0);
    EXPECT_EQ(one->size, song.size());
    EXPECT_EQ(one->hash.size(), 64u);
    ASSERT_NE(listed(index, "DOS/SUB/own.ims"), nullptr);
    EXPECT_EQ(listed(index, "DOS/SUB/own.ims")->bank, "DOS/SUB/OWN.BNK");
    ASSERT_NE(listed(index, "노래/그대에게.IMS"), nullptr);
    EXPECT_EQ(listed(index, "노래/그대에게.IMS")->hash, one->hash);   // the same bytes, the same hash

    EXPECT_NE(why(index, "lone/NOBANK.IMS").find("no bank"), std::string::npos);
    EXPECT_NE(why(index, "DOS/CUT.IMS"), "(not listed as bad)");
    EXPECT_NE(why(index, "DOS/README.TXT").find("not a song"), std::string::npos);
    EXPECT_NE(why(index, "DOS/FAKE.IMS").find("not an IMS or ROL song"), std::string::npos);
    EXPECT_EQ(why(index, "DOS/EMPTY.ROL"), "an empty file");
    EXPECT_NE(why(index, "DOS/\xB3\xEB.IMS").find("not UTF-8"), std::string::npos);
    EXPECT_EQ(index.bad.size(), 6u) << indexJson(index);

    // Banks are listed once, with their content's hash, only where used.
    ASSERT_EQ(index.companions.size(), 3u);
    EXPECT_EQ(index.companions[0].hash, index.companions[1].hash);

    // The JSON never carries the broken name's bytes, nor unescaped quotes.
    std::string json = indexJson(index);
    EXPECT_TRUE(isUtf8(json));
    EXPECT_NE(json.find("\"DOS/\xEF\xBF\xBD\xEF\xBF\xBD.IMS\""), std::string::npos);
}

TEST(CollectionIndex, ReadsLyricFilesAndNamesOnlyTheFoldersAsked)
{
    test::TempDir dir;
    const auto &d = dir.path();
    std::filesystem::create_directories(d / "songs");
    std::filesystem::create_directories(d / "other");
    test::writeFile(d / "songs" / "SING.IMS", test::shortImsSong("SING", 8));
    test::writeFile(d / "songs" / "STANDARD.BNK", test::soundingBank());
    test::writeFile(d / "songs" / "sing.iss", std::string("not a lyric file at all"));
    test::writeFile(d / "other" / "ELSE.IMS", test::shortImsSong("ELSE"));

    auto index = indexCollection(d.string(), {"songs", "missing"});
    ASSERT_EQ(index.songs.size(), 1u) << indexJson(index);
    EXPECT_EQ(index.songs[0].path, "songs/SING.IMS");
    // A lyric file the library ignores is no lyric file of the song: why is said.
    EXPECT_EQ(index.songs[0].lyrics, "");
    EXPECT_FALSE(index.songs[0].lyricsProblem.empty());
    EXPECT_EQ(why(index, "missing"), "not a folder");
}

TEST(CollectionIndexJson, EscapesWhatJsonMust)
{
    EXPECT_EQ(jsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    EXPECT_EQ(jsonString("가"), "\"가\"");
    EXPECT_EQ(jsonString("\xC3"), "\"\xEF\xBF\xBD\"");             // a cut character
    EXPECT_EQ(jsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");   // a surrogate
    EXPECT_FALSE(isUtf8("\xC0\xAF"));                                // an overlong '/'
    EXPECT_TRUE(isUtf8("\xF0\x9F\x8E\xB5"));
}

} // namespace
} // namespace velk::index
