// SHA-256 of a file's bytes, as lowercase hex: the collection index names
// each file's content with it, so that a page can tell a changed song from
// the one it keeps offline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velk::index {

std::string sha256Hex(const std::uint8_t *data, std::size_t size);

} // namespace velk::index
