#include "tools/velkplay/seek_index_builder.h"

namespace velk::play {

namespace {
// Song time per step: tens of milliseconds of the chip, so that a stop (the
// next song, a new tempo) never waits long.
constexpr std::int64_t stepMs = 500;
} // namespace

SeekIndexBuilder::SeekIndexBuilder(velk_song *song)
{
    if (velk_seek_index_new(song, &index_) != VELK_OK) {
        velk_seek_index_free(index_);
        index_ = nullptr;
        return;
    }
    thread_ = std::thread([this] { build(); });
}

SeekIndexBuilder::~SeekIndexBuilder()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    velk_seek_index_free(index_);
}

void SeekIndexBuilder::build()
{
    int done = 0;
    while (done == 0 && !stop_) {
        done = velk_seek_index_build(index_, stepMs);
        reachMs_ = velk_seek_index_progress_ms(index_);
    }
    complete_ = done > 0;
}

} // namespace velk::play
