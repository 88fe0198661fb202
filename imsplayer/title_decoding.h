// Turns the title of an IMS song, stored in Johab, into the Wansung (EUC-KR)
// bytes that the host shows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velk {

constexpr std::size_t titleFieldSize = 30;
using TitleField = std::array<std::uint8_t, titleFieldSize>;

// The Wansung code of a Johab code (lead byte in the high half), or nothing
// when the table has no row for it.
std::optional<std::uint16_t> johabToWansung(std::uint16_t johab);

// The field's text (up to its first NUL, or all 30 bytes) with each Johab
// double-byte character replaced by its Wansung code, or by "__" when there
// is none. Single bytes (below 0x88, above 0xF9) stay as they are, so the
// result has the text's length. A lead byte that ends the text has no trail
// byte to pair with: it becomes a single "_", the mark of an unknown
// character, rather than being paired with the terminator.
std::string decodeTitle(const TitleField &field);

// The title field of an IMS song held in memory (bytes 6 to 35); the bytes a
// song too short for it lacks are NUL.
TitleField titleFieldOf(const std::uint8_t *song, std::size_t size);

} // namespace velk
