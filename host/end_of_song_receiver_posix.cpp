#include "host/end_of_song_receiver.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velk::host {

struct EndOfSongReceiver::State {
    EndOfSongSink sink;
    std::mutex lock;
    std::condition_variable arrived;
    int endOfSong = 0;
    int other = 0;
};

namespace {
void receive(void *context, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    auto *state = static_cast<EndOfSongReceiver::State *>(context);
    {
        std::lock_guard<std::mutex> guard(state->lock);
        if (message == hostEndOfSongMessage && wParam == 0 && lParam == 0)
            ++state->endOfSong;
        else
            ++state->other;
    }
    state->arrived.notify_all();
}
} // namespace

EndOfSongReceiver::EndOfSongReceiver() : state_(new State)
{
    state_->sink.post = receive;
    state_->sink.context = state_.get();
}

EndOfSongReceiver::~EndOfSongReceiver() = default;

HostWindow EndOfSongReceiver::window() const { return &state_->sink; }

void EndOfSongReceiver::pump(int waitMs)
{
    std::unique_lock<std::mutex> guard(state_->lock);
    const int seen = state_->endOfSong + state_->other;
    state_->arrived.wait_for(guard, std::chrono::milliseconds(waitMs),
                             [&] { return state_->endOfSong + state_->other != seen; });
}

int EndOfSongReceiver::endOfSongMessages() const
{
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->endOfSong;
}

int EndOfSongReceiver::otherMessages() const
{
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->other;
}

} // namespace velk::host
