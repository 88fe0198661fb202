// Rendering a song and moving in it: the player steps tick by tick at its
// own rate while the chip renders the frames of each tick.
#pragma once

#include <cstddef>
#include <cstdint>

struct velk_song;

namespace velk::lib {

// Renders up to `frames` frames into `buffer`; fewer only at the end.
std::size_t renderFrames(velk_song &song, std::int16_t *buffer, std::size_t frames);

// The song time of the next frame rendered, in ms.
double positionMs(const velk_song &song);

// Moves to the first tick at or after `ms` (the end when the song is shorter).
void seekTo(velk_song &song, std::int64_t ms);

} // namespace velk::lib
