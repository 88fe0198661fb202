#include "imsplayer/title_decoding.h"

#include <algorithm>

#include "converter/ims_song.h"
#include "imsplayer/johab_wansung_table.h"

namespace velk {
namespace {

bool isLeadByte(std::uint8_t byte) { return byte >= 0x88 && byte <= 0xF9; }

constexpr char unknownMark = '_';

} // namespace

std::optional<std::uint16_t> johabToWansung(std::uint16_t johab)
{
    // A linear walk keeps the table's first-match rule; a title asks at most
    // 15 times, once per load.
    for (const JohabWansungRow &row : johabWansungTable)
        if (row.johab == johab)
            return row.wansung;
    return std::nullopt;
}

std::string decodeTitle(const TitleField &field)
{
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    std::string text(field.begin(), end);
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        if (!isLeadByte(lead)) {
            ++i;
            continue;
        }
        if (i + 1 == text.size()) {
            text[i] = unknownMark;
            break;
        }
        const auto trail = static_cast<std::uint8_t>(text[i + 1]);
        if (auto wansung = johabToWansung(static_cast<std::uint16_t>(lead << 8 | trail))) {
            text[i] = static_cast<char>(*wansung >> 8);
            text[i + 1] = static_cast<char>(*wansung & 0xFF);
        } else {
            text[i] = text[i + 1] = unknownMark;
        }
        i += 2;
    }
    return text;
}

TitleField titleFieldOf(const std::uint8_t *song, std::size_t size)
{
    static_assert(titleFieldSize == ims::titleSize);
    TitleField field{};
    if (size > ims::titleOffset)
        std::copy_n(song + ims::titleOffset, std::min(field.size(), size - ims::titleOffset), field.begin());
    return field;
}

} // namespace velk
