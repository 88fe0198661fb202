// The ROL reader with a bank, then a few thousand ticks of playback on a
// recording chip. One input holds both files: a little-endian 16-bit length
// of the song, the song, and the bank in the bytes after it.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/rol_play_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t songSize = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
    const std::uint8_t *song = data + 2;
    const std::uint8_t *bank = song + songSize;
    constexpr int ticks = 4000;
    velk::fuzz::loadAndPlayRol(velk::Bytes(song, bank), velk::Bytes(bank, data + size), ticks);
    return 0;
}
