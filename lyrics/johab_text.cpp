#include "lyrics/johab_text.h"

#include <algorithm>

#include "lyrics/johab_unicode_table.h"

namespace velk::lyrics {
namespace {

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // The table holds only the Basic Multilingual Plane.
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::optional<char32_t> johabCharacter(std::uint16_t code)
{
    const auto row = std::lower_bound(johabUnicodeTable.begin(), johabUnicodeTable.end(), code,
                                      [](const JohabUnicodeRow &r, std::uint16_t c) { return r.johab < c; });
    if (row == johabUnicodeTable.end() || row->johab != code)
        return std::nullopt;
    return row->unicode;
}

DecodedText decodeJohab(const std::string &johab)
{
    DecodedText text;
    text.offsets.assign(johab.size() + 1, std::nullopt);
    std::size_t i = 0;
    while (i < johab.size()) {
        text.offsets[i] = text.utf8.size();
        const auto lead = static_cast<unsigned char>(johab[i]);
        if (lead < 0x80) {
            text.utf8 += lead < 0x20 || lead == 0x7F ? ' ' : static_cast<char>(lead);
            ++i;
            continue;
        }
        if (i + 1 == johab.size()) {
            appendUtf8(text.utf8, replacementCharacter);
            ++i;
            continue;
        }
        const auto trail = static_cast<unsigned char>(johab[i + 1]);
        appendUtf8(text.utf8, johabCharacter(static_cast<std::uint16_t>(lead << 8 | trail)).value_or(replacementCharacter));
        i += 2;
    }
    text.offsets[johab.size()] = text.utf8.size();
    return text;
}

} // namespace velk::lyrics
