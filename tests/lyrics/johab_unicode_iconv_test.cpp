// The generated Johab table against glibc's own JOHAB converter, for every
// double-byte code.
#include <iconv.h>

#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "lyrics/johab_text.h"

namespace velk::lyrics {
namespace {

std::optional<char32_t> glibcCharacter(iconv_t cd, unsigned code)
{
    char in[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    char out[16];
    char *inPtr = in, *outPtr = out;
    std::size_t inLeft = 2, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0 ||
        outPtr - out != 4)
        return std::nullopt;
    const auto *u = reinterpret_cast<const unsigned char *>(out);
    return static_cast<char32_t>(u[0] | u[1] << 8 | u[2] << 16 | u[3] << 24);
}

TEST(JohabUnicodeTable, EveryPairDecodesAsGlibcDecodesIt)
{
    iconv_t cd = iconv_open("UTF-32LE", "JOHAB");
    if (cd == reinterpret_cast<iconv_t>(-1))
        GTEST_SKIP() << "this C library has no JOHAB converter";
    std::map<unsigned, char32_t> tableOnly, glibcOnly;
    int agreed = 0;
    for (unsigned code = 0x8000; code <= 0xFFFF; ++code) {
        const auto table = johabCharacter(static_cast<std::uint16_t>(code));
        const auto glibc = glibcCharacter(cd, code);
        if (table && glibc) {
            EXPECT_EQ(*table, *glibc) << std::hex << code;
            ++agreed;
        } else if (table) {
            tableOnly[code] = *table;
        } else if (glibc) {
            glibcOnly[code] = *glibc;
        }
    }
    iconv_close(cd);
    // Python's codec also reads lead 0x84 with no initial and no vowel: the
    // blank 0x8441 as U+3000 and a final alone as its compatibility jamo.
    std::map<unsigned, char32_t> expectedTableOnly{{0x8441, 0x3000}};
    const std::pair<unsigned, char32_t> finals[] = {{0x42, 0x3131}, {0x43, 0x3132}, {0x45, 0x3134}, {0x48, 0x3137},
                                                    {0x49, 0x3139}, {0x51, 0x3141}, {0x53, 0x3142}, {0x55, 0x3145},
                                                    {0x56, 0x3146}, {0x57, 0x3147}, {0x58, 0x3148}, {0x59, 0x314A},
                                                    {0x5A, 0x314B}, {0x5B, 0x314C}, {0x5C, 0x314D}, {0x5D, 0x314E}};
    for (const auto &[trail, jamo] : finals)
        expectedTableOnly[0x8400 | trail] = jamo;
    EXPECT_EQ(tableOnly, expectedTableOnly);
    // glibc knows one circled syllable added to KS X 1001 in 2002.
    EXPECT_EQ(glibcOnly, (std::map<unsigned, char32_t>{{0xD9E8, 0x327E}}));
    EXPECT_EQ(agreed, 17065 - 17);
}

TEST(JohabText, DecodesEveryKindAndKeepsOffsets)
{
    // A, Hangul "가", a KS X 1001 symbol (circled dot), hiragana "あ", a
    // Hanja, an unassigned pair (lead 0xD4), a tab, a lead byte at the end.
    const std::string johab = "A\x88\x61\xD9\xC1\xDD\xA2\xE0\x31\xD4\x41\t\x90";
    const DecodedText text = decodeJohab(johab);
    EXPECT_EQ(text.utf8, "A\xEA\xB0\x80\xE2\x8A\x99\xE3\x81\x82\xE4\xBC\xBD\xEF\xBF\xBD \xEF\xBF\xBD");
    ASSERT_EQ(text.offsets.size(), johab.size() + 1);
    EXPECT_EQ(text.offsets[1], 1u);
    EXPECT_FALSE(text.offsets[2]);
    EXPECT_EQ(text.offsets[3], 4u);
    EXPECT_EQ(text.offsets[9], 13u);  // the unassigned pair
    EXPECT_EQ(text.offsets[11], 16u);  // the tab, now a space
    EXPECT_EQ(text.offsets[12], 17u);
    EXPECT_EQ(text.offsets[13], text.utf8.size());
}

} // namespace
} // namespace velk::lyrics
