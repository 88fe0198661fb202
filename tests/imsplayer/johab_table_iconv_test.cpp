// The generated table against glibc's own JOHAB and EUC-KR converters, an
// independent account of the same standard.
#include <iconv.h>

#include <optional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "imsplayer/johab_wansung_table.h"
#include "imsplayer/title_decoding.h"

namespace velk {
namespace {

class Converter {
public:
    Converter(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(cd_);
    }
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // The whole of `in` converted, or nothing when any of it is refused.
    std::optional<std::string> operator()(const std::string &in)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string input = in;
        char out[16];
        char *inPtr = input.data(), *outPtr = out;
        std::size_t inLeft = input.size(), outLeft = sizeof out;
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
            return std::nullopt;
        if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            return std::nullopt;
        return std::string(out, outPtr);
    }

private:
    iconv_t cd_;
};

std::string twoBytes(unsigned code) { return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}; }

std::optional<unsigned> asCode(const std::optional<std::string> &bytes)
{
    if (!bytes || bytes->size() != 2)
        return std::nullopt;
    return static_cast<unsigned>(static_cast<unsigned char>((*bytes)[0]) << 8 | static_cast<unsigned char>((*bytes)[1]));
}

class JohabTableAgainstIconv : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!eucToUtf8.valid() || !utf8ToJohab.valid() || !johabToUtf8.valid() || !utf8ToEuc.valid())
            GTEST_SKIP() << "this C library has no JOHAB or EUC-KR converter";
    }
    Converter eucToUtf8{"UTF-8", "EUC-KR"}, utf8ToJohab{"JOHAB", "UTF-8"};
    Converter johabToUtf8{"UTF-8", "JOHAB"}, utf8ToEuc{"EUC-KR", "UTF-8"};
};

// Every KS X 1001 character glibc knows: the table holds glibc's Johab code
// for it, with exactly the documented exceptions.
TEST_F(JohabTableAgainstIconv, EveryWansungCharacterHasGlibcsJohabCode)
{
    std::set<unsigned> missingFromTable, otherJohabCode;
    int agreed = 0;
    for (unsigned w = 0xA1A1; w <= 0xFEFE; ++w) {
        if ((w & 0xFF) < 0xA1 || (w & 0xFF) > 0xFE)
            continue;
        auto utf8 = eucToUtf8(twoBytes(w));
        if (!utf8)
            continue;
        auto johab = asCode(utf8ToJohab(*utf8));
        ASSERT_TRUE(johab) << std::hex << w;

        std::optional<unsigned> tableJohab;
        for (const auto &row : johabWansungTable)
            if (row.wansung == w) {
                tableJohab = row.johab;
                break;
            }
        if (!tableJohab)
            missingFromTable.insert(w);
        else if (*tableJohab != *johab)
            otherJohabCode.insert(w);
        else
            ++agreed;
    }
    // The ideographic space has no row; three characters came after 1992.
    EXPECT_EQ(missingFromTable, (std::set<unsigned>{0xA1A1, 0xA2E6, 0xA2E7, 0xA2E8}));
    // glibc writes the 51 modern jamo as Johab combination codes; the table
    // keeps the standard's row-rule codes 0xDAA1-0xDAD3 for them.
    std::set<unsigned> modernJamo;
    for (unsigned w = 0xA4A1; w <= 0xA4D3; ++w)
        modernJamo.insert(w);
    EXPECT_EQ(otherJohabCode, modernJamo);
    EXPECT_EQ(agreed, 8225 - 2 - 51);
}

// Every double-byte Johab code decodes as glibc decodes it, with exactly the
// documented exceptions: glibc also knows the ideographic space and three
// characters added after 1992, and reads row 0xA4 in its own way.
TEST_F(JohabTableAgainstIconv, EveryJohabPairDecodesAsGlibcDecodesIt)
{
    std::set<unsigned> glibcOnly, tableOnly;
    int agreed = 0;
    for (unsigned j = 0x8800; j <= 0xF9FF; ++j) {
        auto utf8 = johabToUtf8(twoBytes(j));
        auto glibc = utf8 ? asCode(utf8ToEuc(*utf8)) : std::nullopt;
        auto table = johabToWansung(static_cast<std::uint16_t>(j));
        if (glibc && table) {
            EXPECT_EQ(*table, *glibc) << std::hex << j;
            ++agreed;
        } else if (glibc) {
            glibcOnly.insert(j);
        } else if (table) {
            tableOnly.insert(j);
        }
    }
    // glibc does not read the row-rule codes of the 51 modern jamo...
    std::set<unsigned> modernJamo;
    for (unsigned j = 0xDAA1; j <= 0xDAD3; ++j)
        modernJamo.insert(j);
    EXPECT_EQ(tableOnly, modernJamo);
    // ...but reads the combination codes of the 19 initial consonants (fill
    // vowel, no final) as those jamo. The vowels and compound finals have
    // lead bytes 0x84-0x87, below the range a title decodes.
    std::set<unsigned> expectedGlibcOnly{0xD931, 0xD9E6, 0xD9E7, 0xD9E8};
    for (unsigned initial = 0; initial < 19; ++initial)
        expectedGlibcOnly.insert(0x8000 + (initial + 2) * 1024 + 2 * 32 + 1);
    EXPECT_EQ(glibcOnly, expectedGlibcOnly);
    EXPECT_EQ(agreed, 8225 - 2 - 51);
}

} // namespace
} // namespace velk
