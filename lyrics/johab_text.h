// Johab text (the Korean two-byte code of lyric files) as UTF-8.
//
// A byte below 0x80 is one character; any other byte leads a two-byte
// character, whatever its trail. Pairs Johab does not assign (the fonts of
// the time drew ornaments in some) become U+FFFD, one for the pair.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velk::lyrics {

constexpr char32_t replacementCharacter = 0xFFFD;

// The character of a double-byte code (lead byte in the high half), or
// nothing when Johab assigns none.
std::optional<char32_t> johabCharacter(std::uint16_t code);

struct DecodedText {
    std::string utf8;
    // For each byte offset 0..n of the Johab text, the UTF-8 offset of the
    // character starting there, or nothing for the second byte of a pair.
    std::vector<std::optional<std::size_t>> offsets;
};

// Decodes the bytes as they stand (stop at a NUL before calling). A lead
// byte that ends the text is one U+FFFD. Control bytes (below 0x20, and
// 0x7F) become spaces, one for one: lyrics reach terminals and one-line
// formats, where an escape or a line break of the file would do harm.
DecodedText decodeJohab(const std::string &johab);

inline std::string johabToUtf8(const std::string &johab) { return decodeJohab(johab).utf8; }

} // namespace velk::lyrics
