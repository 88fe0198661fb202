// A song's seek index built on a thread of its own while the song plays, so
// that its seeks land on the samples of a play from the start a few seconds
// after it opens.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "libvelk/velk.h"

namespace velk::play {

class SeekIndexBuilder {
public:
    // Makes the index on the song's own thread (as the library asks) and
    // starts building it; without one (the library refused) it does nothing.
    explicit SeekIndexBuilder(velk_song *song);
    // Stops the building within one of its steps and frees the index.
    ~SeekIndexBuilder();
    SeekIndexBuilder(const SeekIndexBuilder &) = delete;
    SeekIndexBuilder &operator=(const SeekIndexBuilder &) = delete;

    // How far it has got, in ms of the song; any thread.
    std::int64_t reachMs() const { return reachMs_.load(); }
    bool complete() const { return complete_.load(); }

private:
    void build();

    velk_seek_index *index_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<bool> complete_{false};
    std::atomic<std::int64_t> reachMs_{0};
    std::thread thread_;
};

} // namespace velk::play
