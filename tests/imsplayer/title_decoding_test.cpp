#include "imsplayer/title_decoding.h"

#include <gtest/gtest.h>

#include "imsplayer/johab_wansung_table.h"

namespace velk {
namespace {

TitleField field(std::initializer_list<std::uint8_t> bytes)
{
    TitleField f{};
    std::copy(bytes.begin(), bytes.end(), f.begin());
    return f;
}

std::string text(std::initializer_list<std::uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(TitleDecoding, HangulSyllablesBecomeWansung)
{
    EXPECT_EQ(decodeTitle(field({0x88, 0x61})), text({0xB0, 0xA1}));  // ga
    EXPECT_EQ(decodeTitle(field({0xD0, 0x65})), text({0xC7, 0xD1}));  // han
    EXPECT_EQ(decodeTitle(field({'A', 0x88, 0x61, ' ', 0xD0, 0x65, 'z'})),
              text({'A', 0xB0, 0xA1, ' ', 0xC7, 0xD1, 'z'}));
}

TEST(TitleDecoding, SymbolsAndHanjaFollowTheRowRule)
{
    EXPECT_EQ(decodeTitle(field({0xD9, 0x32})), text({0xA1, 0xA2}));  // first row of a pair
    EXPECT_EQ(decodeTitle(field({0xD9, 0x91})), text({0xA1, 0xEF}));  // trail past 0x7E jumps by 0x12
    EXPECT_EQ(decodeTitle(field({0xD9, 0xA1})), text({0xA2, 0xA1}));  // second row keeps the column
    EXPECT_EQ(decodeTitle(field({0xDA, 0xD4})), text({0xA4, 0xD4}));  // Hangul filler
    EXPECT_EQ(decodeTitle(field({0xE0, 0x31})), text({0xCA, 0xA1}));  // first Hanja
    EXPECT_EQ(decodeTitle(field({0xF9, 0xFE})), text({0xFD, 0xFE}));  // last Hanja
}

TEST(TitleDecoding, PairsWithoutARowBecomeTwoMarks)
{
    EXPECT_EQ(decodeTitle(field({0xD9, 0x31})), "__");  // the ideographic space has no row
    EXPECT_EQ(decodeTitle(field({0x88, 0x41})), "__");  // a Johab syllable that Wansung lacks
    EXPECT_EQ(decodeTitle(field({0xD9, 0xE6, 'x'})), "__x");  // added to Wansung after 1992
}

TEST(TitleDecoding, BytesOutsideTheLeadRangePassThrough)
{
    const auto f = field({0x80, 0x81, 0x85, 0x87, 0xFA, 0xFB, 0xFF, 0x7F, 0x01});
    EXPECT_EQ(decodeTitle(f), text({0x80, 0x81, 0x85, 0x87, 0xFA, 0xFB, 0xFF, 0x7F, 0x01}));
}

TEST(TitleDecoding, TextEndsAtTheFirstNulOrFillsTheField)
{
    EXPECT_EQ(decodeTitle(field({'a', 'b', 'c'})), "abc");
    EXPECT_EQ(decodeTitle(field({'a', 0, 'c'})), "a");
    EXPECT_EQ(decodeTitle(field({})), "");

    TitleField full;
    full.fill('Q');
    EXPECT_EQ(decodeTitle(full), std::string(30, 'Q'));

    const std::string ascii = "Plain ASCII title, 30 bytes!!";
    TitleField asciiField{};
    std::copy(ascii.begin(), ascii.end(), asciiField.begin());
    EXPECT_EQ(decodeTitle(asciiField), ascii);
}

TEST(TitleDecoding, ALeadByteEndingTheTextBecomesOneMark)
{
    EXPECT_EQ(decodeTitle(field({'a', 'b', 0x88})), "ab_");  // its partner would be the NUL

    TitleField full;
    for (std::size_t i = 0; i + 1 < full.size(); i += 2) {
        full[i] = 0x88;
        full[i + 1] = 0x61;
    }
    full[28] = 'x';
    full[29] = 0xD0;  // its partner would lie beyond the field
    std::string expected;
    for (int i = 0; i < 14; ++i)
        expected += text({0xB0, 0xA1});
    expected += "x_";
    EXPECT_EQ(decodeTitle(full), expected);
}

TEST(JohabWansungTable, FirstMatchWinsAndRepeatsComeLast)
{
    const auto &t = johabWansungTable;
    EXPECT_EQ(t.size(), 8225u);
    EXPECT_EQ(t[0].johab, 0x8861);
    EXPECT_EQ(t[0].wansung, 0xB0A1);
    EXPECT_EQ(t[8223].johab, 0xD065);
    EXPECT_EQ(t[8223].wansung, 0xC7D1);
    EXPECT_EQ(t[8224].johab, 0xD9D0);
    EXPECT_EQ(t[8224].wansung, 0xA2D0);
    // Apart from the two repeats every Johab code is unique.
    std::vector<std::uint16_t> codes;
    for (std::size_t i = 0; i < 8223; ++i)
        codes.push_back(t[i].johab);
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(std::adjacent_find(codes.begin(), codes.end()), codes.end());
}

} // namespace
} // namespace velk
