// Title decoding on any 30-byte field: the result has the length of the
// field's text, single bytes pass through where they stand, and every
// double-byte character becomes EUC-KR or the "__" of an unknown one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "imsplayer/title_decoding.h"

using velk::fuzz::require;

namespace {

bool isLeadByte(std::uint8_t b) { return b >= 0x88 && b <= 0xF9; }
bool isWansungByte(std::uint8_t b) { return b >= 0xA1 && b <= 0xFE; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    velk::TitleField field{};
    std::copy_n(data, std::min(size, field.size()), field.begin());
    const std::size_t textLength =
        static_cast<std::size_t>(std::find(field.begin(), field.end(), 0) - field.begin());

    const std::string title = velk::decodeTitle(field);
    require(title.size() == textLength, "the decoded title has the length of the field's text");

    const auto at = [&title](std::size_t i) { return static_cast<std::uint8_t>(title[i]); };
    for (std::size_t i = 0; i < textLength;) {
        if (!isLeadByte(field[i])) {
            require(at(i) == field[i], "a single-byte character passes unchanged");
            ++i;
        } else if (i + 1 == textLength) {
            require(title[i] == '_', "a lead byte without a trail byte becomes one '_'");
            ++i;
        } else {
            const bool unknown = title[i] == '_' && title[i + 1] == '_';
            require(unknown || (isWansungByte(at(i)) && isWansungByte(at(i + 1))),
                    "a double-byte character becomes EUC-KR or \"__\"");
            i += 2;
        }
    }
    return 0;
}
