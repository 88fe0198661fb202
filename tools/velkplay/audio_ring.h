// The bytes between the plug-in and the sound card: one thread writes (the
// render thread, through the output module), one reads (the audio callback),
// neither waits for the other. Both ends are running totals, so the reader's
// total is also the clock of what the device has consumed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velk::play {

class AudioRing {
public:
    explicit AudioRing(std::size_t capacity) : bytes_(capacity) {}
    AudioRing(const AudioRing &) = delete;
    AudioRing &operator=(const AudioRing &) = delete;

    std::size_t capacity() const { return bytes_.size(); }
    std::size_t size() const { return static_cast<std::size_t>(written_.load() - read_.load()); }
    std::size_t room() const { return capacity() - size(); }

    // Writer's side: takes as much of `data` as there is room for.
    std::size_t write(const char *data, std::size_t count);
    // Reader's side: moves up to `count` bytes out.
    std::size_t read(char *out, std::size_t count);
    // Drops what is waiting; only while the reader is held off.
    void clear() { read_.store(written_.load()); }

    // Bytes ever written and ever read.
    std::uint64_t totalWritten() const { return written_.load(); }
    std::uint64_t totalRead() const { return read_.load(); }

private:
    std::vector<char> bytes_;
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> read_{0};
};

} // namespace velk::play
