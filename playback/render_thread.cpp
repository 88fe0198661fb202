#include "playback/render_thread.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>

#include <opl.h>
#include <player.h>

#include "platform/host_window.h"
#include "playback/playback_controller.h"
#include "playback/tick_rate.h"

namespace velk {

namespace {

// Room in the sample buffer: a DSP chain may return up to twice the frames
// it was given.
constexpr int bufferFrames = 2 * renderBlockFrames;

// Song time as the whole milliseconds the output module counts in.
int wholeMs(float ms)
{
    if (!(ms > 0.0f))
        return 0;
    if (ms >= static_cast<float>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(ms);
}

// Frames to render before looking at the tick balance again: just past the
// point where the current tick falls due (the balance divided by the rate,
// plus at most 4), a multiple of 4, and no more than the block still needs.
int chunkFrames(std::int32_t tickBalance, float rateHz, int framesLeft)
{
    const double ahead = static_cast<double>(static_cast<float>(tickBalance) / rateHz) + 4.0;
    if (ahead >= framesLeft + 4)  // also keeps the conversion below in range
        return framesLeft;
    return std::min(static_cast<int>(ahead) & ~3, framesLeft);
}

} // namespace

// The passes of the render thread over one song.
class RenderLoop {
public:
    RenderLoop(PlaybackController &controller, char *buffer)
        : c_(controller), host_(controller.host_), output_(*controller.host_.outMod), player_(*controller.player_),
          chip_(*controller.opl_), buffer_(buffer), sampleRate_(controller.snapshot_.sampleRate),
          bitsPerSample_(controller.bitsPerSample()), channels_(controller.channels()),
          frameSize_(bitsPerSample_ / 8 * channels_), stopAtSongEnd_(controller.snapshot_.stopAtSongEnd)
    {
    }

    void run()
    {
        while (c_.playing_) {
            seekIfAsked();
            if (c_.paused_) {
                holdWhilePaused();
                continue;
            }
            if (songEnded_ && stopAtSongEnd_) {
                if (!output_.IsPlaying()) {
                    postToHostWindow(host_.hMainWindow, hostEndOfSongMessage, 0, 0);
                    return;
                }
                sleepMs(renderPollMs);
                continue;
            }
            renderBlock();
            deliverBlock();
        }
    }

private:
    // A request made while this one is carried out stays in seekTargetMs for
    // the next pass, since the target is taken and cleared in one exchange.
    void seekIfAsked()
    {
        if (c_.seekTargetMs_.load() == -1)
            return;
        moveTo(static_cast<float>(c_.seekTargetMs_.exchange(-1)));
    }

    // Steps the player to the first tick at or past `target` (from the start
    // when that lies behind) and restarts the output at the time reached.
    void moveTo(float target)
    {
        float position = c_.positionMs_.load(std::memory_order_relaxed);
        if (target < position) {
            player_.rewind(c_.subsong_);
            position = 0.0f;
        }
        // Ticks without samples; a stop ends the stepping of a far seek.
        while (target > position && c_.playing_ && player_.update())
            position += 1000.0f / boundedTickRate(player_.getrefresh());
        c_.positionMs_.store(position, std::memory_order_relaxed);
        output_.Flush(wholeMs(position));
    }

    // What the output had buffered is dropped and the output restarts at the
    // time being heard. Rendering then goes on from that time as well, not
    // from where it had got to: otherwise the resumed song would skip what
    // was dropped (as much as the output buffers, seconds in some players)
    // and the clock would trail the music for the rest of the song. A seek
    // the host asks for during the pause takes the place of that return.
    void holdWhilePaused()
    {
        const int heardMs = output_.GetOutputTime();
        const bool dropped = output_.GetWrittenTime() > heardMs;
        output_.Flush(heardMs);
        while (c_.paused_ && c_.playing_)
            sleepMs(renderPollMs);
        if (dropped && c_.playing_ && c_.seekTargetMs_.load() == -1) {
            moveTo(static_cast<float>(heardMs));
            songEnded_ = false;  // what remained of the song plays again
        }
    }

    // The tick balance counts frames x Hz: a tick adds the sample rate, each
    // frame takes away the tick rate, and a negative balance means the next
    // tick is due. Each chunk ends at most 4 frames after its tick falls
    // due, and the overshoot stays in the balance, so ticks keep the
    // player's rate over the whole song without drifting.
    void renderBlock()
    {
        char *write = buffer_;
        int framesLeft = renderBlockFrames;
        while (framesLeft > 0) {
            while (tickBalance_ < 0) {
                tickBalance_ += sampleRate_;
                songEnded_ = !player_.update();
                // The tick lasts as long as the rate reported after it.
                const float rateHz = boundedTickRate(player_.getrefresh());
                c_.positionMs_.store(c_.positionMs_.load(std::memory_order_relaxed) + 1000.0f / rateHz,
                                     std::memory_order_relaxed);
            }
            const float rateHz = boundedTickRate(player_.getrefresh());
            const int chunk = chunkFrames(tickBalance_, rateHz, framesLeft);
            chip_.update(reinterpret_cast<short *>(write), chunk);
            write += chunk * frameSize_;
            framesLeft -= chunk;
            tickBalance_ = static_cast<std::int32_t>(static_cast<float>(tickBalance_) - rateHz * static_cast<float>(chunk));
        }
    }

    void deliverBlock()
    {
        int frames = renderBlockFrames;
        if (host_.dsp_dosamples)
            frames = host_.dsp_dosamples(reinterpret_cast<short *>(buffer_), renderBlockFrames, bitsPerSample_,
                                         channels_, sampleRate_);
        // Never hand on more than the buffer holds, whatever the DSP says.
        frames = std::clamp(frames, 0, bufferFrames);
        const int bytes = frames * frameSize_;
        // Also ends when stop clears `playing`, so that stop never has to
        // terminate the thread.
        while (output_.CanWrite() < bytes) {
            if (!c_.playing_)
                return;
            sleepMs(renderPollMs);
        }
        output_.Write(buffer_, bytes);
        if (host_.SAAddPCMData)
            host_.SAAddPCMData(buffer_, channels_, bitsPerSample_, output_.GetWrittenTime());
        if (host_.VSAAddPCMData)
            host_.VSAAddPCMData(buffer_, channels_, bitsPerSample_, output_.GetWrittenTime());
    }

    PlaybackController &c_;
    In_Module &host_;
    Out_Module &output_;
    CPlayer &player_;
    Copl &chip_;
    char *const buffer_;
    const int sampleRate_;
    const int bitsPerSample_;
    const int channels_;
    const int frameSize_;
    const bool stopAtSongEnd_;
    std::int32_t tickBalance_ = 0;
    bool songEnded_ = false;
};

unsigned long VELK_THREAD_ENTRY renderThread(void *controller)
{
    auto &c = *static_cast<PlaybackController *>(controller);
    const int frameSize = c.bitsPerSample() / 8 * c.channels();
    // Allocated once per song; short-aligned, as the chip and the DSP want.
    std::unique_ptr<short[]> samples(new (std::nothrow) short[bufferFrames * frameSize / 2]);
    if (!samples) {
        // Without a buffer there is nothing to play: let the host stop.
        postToHostWindow(c.host_.hMainWindow, hostEndOfSongMessage, 0, 0);
        return 0;
    }
    RenderLoop(c, reinterpret_cast<char *>(samples.get())).run();
    return 0;
}

} // namespace velk
