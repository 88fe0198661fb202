#include "tools/velkplay/audio_ring.h"

#include <algorithm>
#include <cstring>

namespace velk::play {

namespace {
// Copies `count` bytes between the ring at `at` and a flat buffer, in at most
// two pieces where the ring wraps.
template <typename Copy>
void inTwoPieces(std::size_t capacity, std::uint64_t at, std::size_t count, Copy copy)
{
    const std::size_t start = static_cast<std::size_t>(at % capacity);
    const std::size_t first = std::min(count, capacity - start);
    copy(start, 0, first);
    copy(0, first, count - first);
}
} // namespace

std::size_t AudioRing::write(const char *data, std::size_t count)
{
    const std::uint64_t end = written_.load(std::memory_order_relaxed);
    count = std::min(count, capacity() - static_cast<std::size_t>(end - read_.load(std::memory_order_acquire)));
    inTwoPieces(capacity(), end, count, [&](std::size_t ring, std::size_t flat, std::size_t n) {
        std::memcpy(bytes_.data() + ring, data + flat, n);
    });
    written_.store(end + count, std::memory_order_release);
    return count;
}

std::size_t AudioRing::read(char *out, std::size_t count)
{
    const std::uint64_t start = read_.load(std::memory_order_relaxed);
    count = std::min(count, static_cast<std::size_t>(written_.load(std::memory_order_acquire) - start));
    inTwoPieces(capacity(), start, count, [&](std::size_t ring, std::size_t flat, std::size_t n) {
        std::memcpy(out + flat, bytes_.data() + ring, n);
    });
    read_.store(start + count, std::memory_order_release);
    return count;
}

} // namespace velk::play
