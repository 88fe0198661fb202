// A song's lyrics: the lyric file found beside an IMS song (its own name
// with .iss, in any case) or given by the caller, timed on the song's ticks.
#pragma once

#include <cstddef>
#include <cstdint>

struct velk_song;

namespace velk::lib {

// Looks for the lyric file beside the handle's location (an open IMS song)
// and reads it; one that cannot be read or is no lyric file leaves the song
// without lyrics and says why in the handle's lyricsProblem. Never fails.
// Throws std::bad_alloc.
void findLyricsBeside(velk_song &song);

// Reads lyrics from memory into the handle, in place of any it had; false
// (with the reason in lyricsProblem) when the bytes are no lyric file.
// Throws std::bad_alloc.
bool takeLyrics(velk_song &song, const std::uint8_t *data, std::size_t size);

} // namespace velk::lib
