// Rendering a song and moving in it: the player steps tick by tick at its
// own rate (times the listener's tempo) while the chip renders the frames of
// each tick.
#pragma once

#include <cstddef>
#include <cstdint>

#include "libvelk/velk.h"

struct velk_song;

namespace velk::lib {

// Renders up to `frames` frames into `buffer`; fewer only at the end.
std::size_t renderFrames(velk_song &song, std::int16_t *buffer, std::size_t frames);

// Whether nothing has played since the song's start (its open, or a seek
// that started it again).
bool atSongStart(const velk_song &song);

// The song time of the next frame rendered, in ms.
double positionMs(const velk_song &song);

// Moves to the first tick at or after `ms` (the end when the song is shorter).
// The chip runs through the stretch before it that still sounds there, so
// that notes held or decaying at the target sound as they would have.
void seekTo(velk_song &song, std::int64_t ms);

// Plays on, rendering unheard, until the next tick starts at or after `ms`
// (or the song ends): the exact way to get there.
void renderUnheardTo(velk_song &song, double ms);

// Sets the listener's tempo (0.25..4) from the next frame on, keeping the
// position.
void setTempo(velk_song &song, double tempo);

// The voice as heard at the position.
velk_voice_state voiceState(const velk_song &song, int voice);

} // namespace velk::lib
