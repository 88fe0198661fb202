#include "libvelk/song_render.h"

#include <opl.h>

#include <algorithm>

#include "libvelk/song_handle.h"
#include "playback/tick_rate.h"
#include "rol/rol_player.h"

namespace velk::lib {
namespace {

// Frames handed to the chip at a time, as velkrender always rendered them.
constexpr std::uint64_t chipBlockFrames = 4096;

// Plays the next tick; false at the end. The frames it lasts follow the
// velkrender arithmetic: the sample rate over the player's rate, the fraction
// carried to the next tick.
bool playTick(velk_song &song)
{
    if (song.ended || !song.player->update()) {
        song.ended = true;
        return false;
    }
    song.nextTickMs += 1000.0f / boundedTickRate(song.player->getrefresh());
    song.owedFrames += song.sampleRate / static_cast<double>(song.player->getrefresh());
    song.pendingFrames = static_cast<std::uint64_t>(song.owedFrames);
    song.owedFrames -= static_cast<double>(song.pendingFrames);
    return true;
}

} // namespace

std::size_t renderFrames(velk_song &song, std::int16_t *buffer, std::size_t frames)
{
    std::size_t written = 0;
    while (written < frames) {
        if (song.pendingFrames == 0) {
            if (!playTick(song))
                break;
            continue;
        }
        const std::uint64_t n = std::min<std::uint64_t>({song.pendingFrames, frames - written, chipBlockFrames});
        song.chip->update(buffer + written * static_cast<std::size_t>(song.channels), static_cast<int>(n));
        written += static_cast<std::size_t>(n);
        song.pendingFrames -= n;
        song.framesSinceAnchor += n;
    }
    return written;
}

double positionMs(const velk_song &song)
{
    return song.anchorMs + static_cast<double>(song.framesSinceAnchor) * 1000.0 / song.sampleRate;
}

void seekTo(velk_song &song, std::int64_t ms)
{
    const float target = static_cast<float>(std::max<std::int64_t>(ms, 0));
    if (static_cast<double>(target) < positionMs(song)) {
        song.player->rewind(0);
        song.ended = false;
        song.nextTickMs = 0.0f;
    }
    // The tick being rendered is left; ticks up to the target are played
    // without rendering (the chip hears their writes).
    while (target > song.nextTickMs && playTick(song)) {
    }
    song.pendingFrames = 0;
    song.owedFrames = 0.0;
    song.anchorMs = song.nextTickMs;
    song.framesSinceAnchor = 0;
}

} // namespace velk::lib
